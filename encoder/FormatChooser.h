#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// What the user picked in the format chooser.
struct ChosenFormat {
    std::vector<std::uint8_t> format;  // WAVEFORMATEX (18 bytes) + cbSize extra bytes
    std::string tagName;               // e.g. "PCM"
    std::string description;           // e.g. "44.1 kHz 16 Bit Stereo"
};

// The output format chooser. The window installs a dialog; without one, nothing can be chosen.
class FormatChooser {
public:
    virtual ~FormatChooser() = default;
    // Lists the formats reachable from `sourceFormat` (16-bit PCM, 18 bytes) in a modal dialog
    // owned by `owner` (the owner window, or nullptr) with caption `title`. nullopt: cancelled
    // or failed.
    virtual std::optional<ChosenFormat> choose(std::span<const std::uint8_t> sourceFormat, void* owner,
                                               const std::string& title) = 0;
};

// The installed chooser, or nullptr.
FormatChooser* formatChooser();
// Installs `chooser` (not owned; must outlive its use). nullptr removes it.
void setFormatChooser(FormatChooser* chooser);

}  // namespace quillon
