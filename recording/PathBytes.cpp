#include "recording/PathBytes.h"

#include <cstdint>

namespace quillon {
namespace {

constexpr char16_t kRawBase = 0xDC00;  // a raw byte b >= 0x80 is kept as kRawBase + b

// Length of the valid UTF-8 sequence at `at` and its code point; 0 when invalid there.
std::size_t validSequence(std::string_view s, std::size_t at, char32_t& code)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1FU;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0FU;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07U;
        min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > s.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0U) != 0x80U) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3FU);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

QString PathFromBytes(std::string_view bytes)
{
    QString text;
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t code = 0;
        const std::size_t length = validSequence(bytes, at, code);
        if (length == 0) {
            text.append(QChar(static_cast<char16_t>(kRawBase + static_cast<std::uint8_t>(bytes[at]))));
            ++at;
            continue;
        }
        if (code >= 0x10000) {
            const char32_t v = code - 0x10000;
            text.append(QChar(static_cast<char16_t>(0xD800 + (v >> 10))));
            text.append(QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF))));
        } else {
            text.append(QChar(static_cast<char16_t>(code)));
        }
        at += length;
    }
    return text;
}

std::string PathToBytes(const QString& path)
{
    std::string bytes;
    const auto n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = path[i].unicode();
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && path[i + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, path[i + 1].unicode()));
            ++i;
        } else if (unit >= kRawBase + 0x80 && unit <= kRawBase + 0xFF) {
            bytes.push_back(static_cast<char>(unit - kRawBase));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(bytes, 0xFFFD);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

bool PathHasRawBytes(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (unit >= kRawBase + 0x80 && unit <= kRawBase + 0xFF && (i == 0 || !path[i - 1].isHighSurrogate())) {
            return true;
        }
    }
    return false;
}

}  // namespace quillon
