#include "encoder/WavReader.h"

#include <cstring>
#include <fstream>

#include "common/WaveFormat.h"

namespace quillon {

namespace {

constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;
// Bytes 2..15 of the KSDATAFORMAT_SUBTYPE_PCM GUID; bytes 0..1 carry the format tag.
constexpr std::uint8_t kSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

WavReadResult refuse(std::string why)
{
    return WavReadResult{std::nullopt, std::move(why)};
}

bool idIs(const std::uint8_t* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

std::string printableId(const std::uint8_t* p)
{
    std::string id;
    for (int i = 0; i < 4; ++i) {
        id += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '?';
    }
    return id;
}

struct Fmt {
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t blockAlign = 0;
};

// Checks a fmt chunk body; returns the error text or empty.
std::string checkFmt(const std::uint8_t* p, std::uint32_t size, Fmt& fmt)
{
    if (size < 16) {
        return "fmt chunk too short (" + std::to_string(size) + " bytes, needs 16)";
    }
    if (size > kWaveFormatExSize + 0xFFFF) {
        return "fmt chunk size " + std::to_string(size) + " is absurd";
    }
    std::uint16_t tag = getLE16(p);
    fmt.channels = getLE16(p + 2);
    fmt.rate = getLE32(p + 4);
    fmt.blockAlign = getLE16(p + 12);
    const std::uint16_t bits = getLE16(p + 14);
    if (size >= kWaveFormatExSize) {
        const std::uint32_t cbSize = getLE16(p + 16);
        if (kWaveFormatExSize + cbSize > size) {
            return "fmt extra size " + std::to_string(cbSize) + " goes beyond its chunk (" + std::to_string(size) +
                   " bytes)";
        }
        if (tag == kWaveFormatExtensible) {
            if (cbSize < 22) {
                return "extensible fmt chunk without its sub-format";
            }
            if (std::memcmp(p + 26, kSubtypeTail, sizeof(kSubtypeTail)) != 0) {
                return "extensible format with a sub-format that is not PCM";
            }
            tag = getLE16(p + 24);
        }
    }
    if (tag != WAVE_FORMAT_PCM) {
        return "not PCM (format tag " + std::to_string(tag) + "); only 16-bit PCM can be read";
    }
    if (fmt.channels == 0) {
        return "fmt chunk says 0 channels";
    }
    if (fmt.blockAlign == 0) {
        return "fmt chunk says block align 0";
    }
    if (fmt.channels > 2) {
        return std::to_string(fmt.channels) + " channels; only mono and stereo can be read";
    }
    if (bits != 16) {
        return std::to_string(bits) + "-bit samples; only 16-bit PCM can be read";
    }
    if (fmt.blockAlign != fmt.channels * 2) {
        return "block align " + std::to_string(fmt.blockAlign) + " does not match " + std::to_string(fmt.channels) +
               " channel(s) of 16 bits";
    }
    if (fmt.rate < 1 || fmt.rate > static_cast<std::uint32_t>(kWavReaderMaxRate)) {
        return "sample rate " + std::to_string(fmt.rate) + " Hz is outside 1 to 96000";
    }
    return {};
}

}  // namespace

WavReadResult ReadWav(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 12 || !idIs(bytes.data(), "RIFF") || !idIs(bytes.data() + 8, "WAVE")) {
        return refuse("not a RIFF/WAVE file");
    }
    const std::uint64_t riffSize = getLE32(bytes.data() + 4);
    const std::uint64_t end = 8 + riffSize;
    if (riffSize < 4) {
        return refuse("RIFF size " + std::to_string(riffSize) + " is absurd");
    }
    if (end > bytes.size()) {
        return refuse("truncated: the RIFF header promises " + std::to_string(end) + " bytes, the file has " +
                      std::to_string(bytes.size()));
    }

    std::optional<Fmt> fmt;
    std::uint64_t pos = 12;
    while (pos + 8 <= end) {
        const std::uint8_t* chunk = bytes.data() + pos;
        const std::uint64_t size = getLE32(chunk + 4);
        if (size > end - pos - 8) {
            return refuse("truncated: chunk '" + printableId(chunk) + "' of " + std::to_string(size) +
                          " bytes overruns the file");
        }
        const std::uint8_t* body = chunk + 8;
        if (idIs(chunk, "fmt ")) {
            if (fmt) {
                return refuse("two fmt chunks");
            }
            Fmt parsed;
            if (auto why = checkFmt(body, static_cast<std::uint32_t>(size), parsed); !why.empty()) {
                return refuse(why);
            }
            fmt = parsed;
        } else if (idIs(chunk, "data")) {
            if (!fmt) {
                return refuse("data chunk before the fmt chunk");
            }
            if (size % fmt->blockAlign != 0) {
                return refuse("data length " + std::to_string(size) + " is not a whole number of " +
                              std::to_string(fmt->blockAlign) + "-byte frames");
            }
            WavAudio audio;
            audio.sampleRate = static_cast<std::int32_t>(fmt->rate);
            audio.channels = static_cast<std::int16_t>(fmt->channels);
            audio.samples.resize(static_cast<std::size_t>(size / 2));
            for (std::size_t i = 0; i < audio.samples.size(); ++i) {
                audio.samples[i] = static_cast<std::int16_t>(getLE16(body + 2 * i));
            }
            return WavReadResult{std::move(audio), {}};
        }
        // Chunks are word-aligned: an odd-sized one is followed by a pad byte.
        pos += 8 + size + (size & 1);
    }
    return refuse(fmt ? "no data chunk" : "no fmt chunk");
}

WavReadResult ReadWavFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return refuse("cannot open '" + path + "'");
    }
    // One read of the whole file: going through it byte by byte costs more than the effects.
    const std::streamoff size = in.tellg();
    if (size < 0) {
        return refuse("cannot read '" + path + "'");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return refuse("cannot read '" + path + "'");
    }
    return ReadWav(bytes);
}

}  // namespace quillon
