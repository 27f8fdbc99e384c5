#pragma once

// Reading option values: every sub-command takes numbers and lists the same way.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon::cli {

// `text` as a whole decimal number; nullopt when any of it is not (empty, spaces, '+', overflow).
std::optional<std::int64_t> parseInteger(const std::string& text);

// The pieces of `text` between `separator`s, empty ones included; one piece when there is none.
std::vector<std::string> splitAt(const std::string& text, char separator);

}  // namespace quillon::cli
