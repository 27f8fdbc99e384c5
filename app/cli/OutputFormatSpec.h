#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "encoder/FormatChooser.h"

namespace quillon::cli {

// Turns a --format value ("pcm:44100:2:16", "pcm:22050:1:f32", "ima-adpcm:22050:1",
// "gsm610:8000:1") into an output format record
// for a 16-bit source of `sourceRate` Hz and `sourceChannels` channels. On failure returns
// nullopt and sets `error` to one line.
std::optional<ChosenFormat> parseOutputFormat(const std::string& spec, std::int32_t sourceRate,
                                              std::int16_t sourceChannels, std::string& error);

// The --format value that gives `format` (a record as the chooser lists it), or "" when
// --format cannot spell it.
std::string formatSpelling(std::span<const std::uint8_t> format);

// The output format when --format is not given: the source's rate and channels, 16 bits.
ChosenFormat defaultOutputFormat(std::int32_t sourceRate, std::int16_t sourceChannels);

}  // namespace quillon::cli
