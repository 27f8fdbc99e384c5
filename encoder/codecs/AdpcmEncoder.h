#pragma once

#include <span>

#include "encoder/codecs/BlockEncoder.h"

namespace quillon {

// How an ADPCM format lays out a block: each channel's header of `headerBytes` carries its first
// `headerFrames` samples, and every byte after the headers holds two more.
struct AdpcmFraming {
    std::size_t headerBytes;
    std::size_t headerFrames;
};

// Block size of both ADPCM formats by the usual convention: 256 bytes per channel up to
// 11025 Hz, 512 up to 22050 Hz, 1024 above.
std::uint16_t AdpcmBlockAlign(std::uint32_t rate, int channels);

// Frames a block of `blockAlign` bytes holds.
std::size_t AdpcmFramesPerBlock(AdpcmFraming framing, std::uint16_t blockAlign, int channels);

// The block framing both ADPCM encoders share: the block size follows the rate (AdpcmBlockAlign)
// and the frames per block follow the framing.
class AdpcmEncoder : public BlockEncoder {
public:
    [[nodiscard]] int channels() const final { return channels_; }
    [[nodiscard]] std::size_t framesPerBlock() const final { return framesPerBlock_; }
    [[nodiscard]] std::size_t bytesPerBlock() const final { return blockAlign_; }

protected:
    // Checks `rate` and `channels` first (std::invalid_argument naming `codec`).
    AdpcmEncoder(const char* codec, AdpcmFraming framing, std::uint32_t rate, int channels);

    std::uint32_t rate_;
    int channels_;
    std::uint16_t blockAlign_;
    std::size_t framesPerBlock_;
};

// An ADPCM format record: 4 bits per sample, the byte rate from the block size, and extra bytes
// of the frames per block followed by `codecExtra`.
std::vector<std::uint8_t> MakeAdpcmFormat(std::uint16_t tag, AdpcmFraming framing, std::uint32_t rate, int channels,
                                          std::span<const std::uint8_t> codecExtra);

}  // namespace quillon
