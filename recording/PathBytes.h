#pragma once

// File names are bytes; the program's texts are QString. A name that is not valid UTF-8 must
// still reach the open call byte for byte (a QString round trip turns such bytes into U+FFFD,
// which names another file): every byte that is not part of valid UTF-8 is kept as the lone
// surrogate U+DC80...U+DCFF and turned back into that byte.
#include <string>
#include <string_view>

#include <QString>

namespace quillon {

// The name's bytes as text; invalid UTF-8 bytes become U+DC80 + (byte - 0x80).
QString PathFromBytes(std::string_view bytes);
// The inverse of PathFromBytes for any text it produced; other text is encoded as UTF-8.
std::string PathToBytes(const QString& path);
// True when `path` holds bytes that are not UTF-8 (a name no window can show as it is).
bool PathHasRawBytes(const QString& path);

}  // namespace quillon
