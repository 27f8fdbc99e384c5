#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/WaveFormat.h"

namespace quillon::acm {

// One running conversion from 16-bit PCM to one output format. A codec is created by its
// driver for one stream and keeps whatever state the format needs between calls.
class AcmCodec {
public:
    struct Converted {
        std::uint32_t sourceUsed = 0;       // bytes of the source consumed
        std::uint32_t destinationUsed = 0;  // bytes written to the destination
    };

    virtual ~AcmCodec() = default;

    // The source is consumed in whole units of this many bytes (PCM: one frame; a block
    // codec: one block of frames). What is left over stays with the caller.
    [[nodiscard]] virtual std::uint32_t sourceBlockAlign() const = 0;
    // Upper bound of the output of one convert() call over `sourceBytes`, drain included.
    [[nodiscard]] virtual std::uint32_t destinationSize(std::uint32_t sourceBytes) const = 0;
    // Source bytes whose output fits in `destinationBytes`.
    [[nodiscard]] virtual std::uint32_t sourceSize(std::uint32_t destinationBytes) const = 0;
    // Converts whole source units. Given a destination of destinationSize(source.size()) bytes a
    // codec takes every whole unit, so what the caller carries over stays below one unit. With
    // `end` the source may end in a partial unit (pad it or drop it) and the codec flushes what
    // it holds back (resampler delay); more may follow on further `end` calls, until one
    // produces nothing. nullopt: the conversion failed and used nothing.
    virtual std::optional<Converted> convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                                             bool end) = 0;
};

struct AcmFormatTag {
    std::uint16_t tag = 0;
    std::string name;  // e.g. "PCM"
};

// One output format a chooser can offer.
struct AcmFormatDetails {
    std::uint16_t formatTag = 0;
    std::string tagName;               // e.g. "PCM"
    std::string description;           // e.g. "44.1 kHz 16 Bit Stereo"
    std::vector<std::uint8_t> format;  // WAVEFORMATEX (18 bytes) + cbSize extra bytes
};

// A family of output formats (one or more tags) and the codecs that produce them.
// Adding a codec means adding one driver to the registry in AcmRegistry.cpp.
class AcmDriver {
public:
    virtual ~AcmDriver() = default;

    [[nodiscard]] virtual std::vector<AcmFormatTag> formatTags() const = 0;
    // A codec from `source` (16-bit PCM, already checked) to the format `destination`
    // (WAVEFORMATEX + its extra bytes), or nullptr when this driver cannot produce it.
    [[nodiscard]] virtual std::unique_ptr<AcmCodec> open(const WaveFormatEx& source,
                                                         std::span<const std::uint8_t> destination) const = 0;
    // Every output format reachable from `source`, in the order a chooser lists them.
    [[nodiscard]] virtual std::vector<AcmFormatDetails> formats(const WaveFormatEx& source) const = 0;
};

// The installed drivers, built-in ones first; streams try them in this order.
const std::vector<std::unique_ptr<AcmDriver>>& acmDrivers();
// Adds a driver after the built-in ones (tests, later codecs that are not built in).
void acmRegisterDriver(std::unique_ptr<AcmDriver> driver);

}  // namespace quillon::acm
