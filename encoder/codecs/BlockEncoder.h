#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quillon {

// A compressed WAV codec: turns whole blocks of interleaved 16-bit frames into whole blocks of
// bytes. Partial blocks are the caller's business (the conversion stream keeps them until the
// next call and pads the last one), so every codec stays a plain block-in, block-out function.
class BlockEncoder {
public:
    virtual ~BlockEncoder() = default;

    [[nodiscard]] virtual int channels() const = 0;
    // Frames (one sample per channel) that make one block.
    [[nodiscard]] virtual std::size_t framesPerBlock() const = 0;
    // Bytes one block becomes; equals the format's nBlockAlign.
    [[nodiscard]] virtual std::size_t bytesPerBlock() const = 0;
    // Encodes in.size() / samplesPerBlock() whole blocks into out, which must hold that many times
    // bytesPerBlock() (std::length_error otherwise). Returns the bytes written.
    std::size_t encode(std::span<const std::int16_t> in, std::span<std::uint8_t> out);
    // Forgets the state one block hands to the next, as at the start of a file.
    virtual void reset() = 0;
    // The format record this codec writes: WAVEFORMATEX followed by its cbSize extra bytes.
    [[nodiscard]] virtual std::vector<std::uint8_t> format() const = 0;

    [[nodiscard]] std::size_t samplesPerBlock() const
    {
        return framesPerBlock() * static_cast<std::size_t>(channels());
    }

protected:
    // One block: samplesPerBlock() interleaved samples in, bytesPerBlock() bytes out.
    virtual void encodeBlock(const std::int16_t* in, std::uint8_t* out) = 0;
    // `blocks` blocks in a row; a codec with tiny blocks overrides this to skip the per-block call.
    virtual void encodeBlocks(const std::int16_t* in, std::uint8_t* out, std::size_t blocks);
};

// `channels` when it is 1 or 2 and `rate` is above 0; std::invalid_argument naming `codec` otherwise.
// Constructors check first, before any size is derived from the channel count.
int CheckedChannels(const char* codec, std::uint32_t rate, int channels);

}  // namespace quillon
