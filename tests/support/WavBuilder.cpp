#include "tests/support/WavBuilder.h"

#include "common/WaveFormat.h"

namespace quillon::test {

namespace {

void append32(Bytes& b, std::uint32_t v)
{
    b.resize(b.size() + 4);
    putLE32(&b[b.size() - 4], v);
}

}  // namespace

Bytes riffWave(const std::vector<Chunk>& chunks, std::optional<std::uint32_t> riffSize)
{
    Bytes out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const auto& c : chunks) {
        out.insert(out.end(), c.id.begin(), c.id.end());
        append32(out, c.sizeField.value_or(static_cast<std::uint32_t>(c.body.size())));
        out.insert(out.end(), c.body.begin(), c.body.end());
        if (c.pad && c.body.size() % 2 == 1) {
            out.push_back(0);
        }
    }
    putLE32(&out[4], riffSize.value_or(static_cast<std::uint32_t>(out.size() - 8)));
    return out;
}

Bytes wavBytes(const WavLayout& layout)
{
    WaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = layout.channels;
    f.nSamplesPerSec = layout.rate;
    f.wBitsPerSample = layout.bits;
    f.nBlockAlign = layout.blockAlign.value_or(static_cast<std::uint16_t>(layout.channels * layout.bits / 8));
    f.nAvgBytesPerSec = layout.rate * f.nBlockAlign;
    f.cbSize = static_cast<std::uint16_t>(layout.fmtSize > kWaveFormatExSize ? layout.fmtSize - kWaveFormatExSize : 0);
    Bytes fmt = f.bytes();
    fmt.resize(layout.fmtSize, 0x5a);
    return riffWave({{"fmt ", fmt, std::nullopt, layout.padFmt}, {"data", layout.audio, layout.dataSize, false}},
                    layout.riffSize);
}

Bytes patternBytes(std::size_t count)
{
    Bytes b(count);
    for (std::size_t i = 0; i < count; ++i) {
        b[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    return b;
}

Bytes cutRecording(std::size_t audioBytes)
{
    return wavBytes({.riffSize = 0, .dataSize = 0, .audio = patternBytes(audioBytes)});
}

}  // namespace quillon::test
