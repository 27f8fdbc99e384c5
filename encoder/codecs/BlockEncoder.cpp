#include "encoder/codecs/BlockEncoder.h"

#include <stdexcept>
#include <string>

namespace quillon {

std::size_t BlockEncoder::encode(std::span<const std::int16_t> in, std::span<std::uint8_t> out)
{
    const std::size_t blocks = in.size() / samplesPerBlock();
    if (out.size() < blocks * bytesPerBlock()) {
        throw std::length_error("codec output too small");
    }
    encodeBlocks(in.data(), out.data(), blocks);
    return blocks * bytesPerBlock();
}

void BlockEncoder::encodeBlocks(const std::int16_t* in, std::uint8_t* out, std::size_t blocks)
{
    for (std::size_t b = 0; b < blocks; ++b) {
        encodeBlock(in + b * samplesPerBlock(), out + b * bytesPerBlock());
    }
}

int CheckedChannels(const char* codec, std::uint32_t rate, int channels)
{
    if (rate == 0 || channels < 1 || channels > 2) {
        throw std::invalid_argument(std::string(codec) + " takes 1 or 2 channels at a rate above 0");
    }
    return channels;
}

}  // namespace quillon
