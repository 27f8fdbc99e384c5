#include "encoder/codecs/AdpcmEncoder.h"

#include "encoder/codecs/FormatRecord.h"

namespace quillon {

std::uint16_t AdpcmBlockAlign(std::uint32_t rate, int channels)
{
    const int perChannel = rate <= 11025 ? 256 : rate <= 22050 ? 512 : 1024;
    return static_cast<std::uint16_t>(perChannel * channels);
}

std::size_t AdpcmFramesPerBlock(AdpcmFraming framing, std::uint16_t blockAlign, int channels)
{
    const auto ch = static_cast<std::size_t>(channels);
    return (blockAlign - framing.headerBytes * ch) * 2 / ch + framing.headerFrames;
}

AdpcmEncoder::AdpcmEncoder(const char* codec, AdpcmFraming framing, std::uint32_t rate, int channels)
    : rate_(rate),
      channels_(CheckedChannels(codec, rate, channels)),
      blockAlign_(AdpcmBlockAlign(rate, channels_)),
      framesPerBlock_(AdpcmFramesPerBlock(framing, blockAlign_, channels_))
{
}

std::vector<std::uint8_t> MakeAdpcmFormat(std::uint16_t tag, AdpcmFraming framing, std::uint32_t rate, int channels,
                                          std::span<const std::uint8_t> codecExtra)
{
    WaveFormatEx f;
    f.wFormatTag = tag;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.nBlockAlign = AdpcmBlockAlign(rate, channels);
    const std::size_t frames = AdpcmFramesPerBlock(framing, f.nBlockAlign, channels);
    f.nAvgBytesPerSec = static_cast<std::uint32_t>(static_cast<std::uint64_t>(rate) * f.nBlockAlign / frames);
    f.wBitsPerSample = 4;
    std::vector<std::uint8_t> extra;
    AppendLE16(extra, static_cast<std::uint16_t>(frames));
    extra.insert(extra.end(), codecExtra.begin(), codecExtra.end());
    return BuildFormatRecord(f, extra);
}

}  // namespace quillon
