#include "encoder/WavReader.h"

#include <algorithm>
#include <array>
#include <bit>
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

// Bytes of a fmt chunk's body that checkFmt reads at most: the extensible sub-format ends there.
constexpr std::size_t kFmtBytesLooked = 40;

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

// Where the audio of an accepted file lies.
struct Layout {
    Fmt fmt;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataBytes = 0;
};

// The header checks, over an image of `total` bytes that `fetch(offset, out)` copies from.
// Reads only the RIFF header, the chunk headers and the start of the fmt chunk, never
// beyond `total`; returns the layout or the refusal.
template <typename Fetch>
std::optional<Layout> findLayout(std::uint64_t total, Fetch fetch, std::string& error)
{
    auto refuseWith = [&](std::string why) {
        error = std::move(why);
        return std::optional<Layout>{};
    };
    std::uint8_t head[12];
    if (total < 12 || !fetch(0, std::span<std::uint8_t>(head)) || !idIs(head, "RIFF") || !idIs(head + 8, "WAVE")) {
        return refuseWith("not a RIFF/WAVE file");
    }
    const std::uint64_t riffSize = getLE32(head + 4);
    const std::uint64_t end = 8 + riffSize;
    if (riffSize < 4) {
        return refuseWith("RIFF size " + std::to_string(riffSize) + " is absurd");
    }
    if (end > total) {
        return refuseWith("truncated: the RIFF header promises " + std::to_string(end) + " bytes, the file has " +
                          std::to_string(total));
    }

    std::optional<Fmt> fmt;
    std::uint64_t pos = 12;
    while (pos + 8 <= end) {
        std::uint8_t chunk[8];
        if (!fetch(pos, std::span<std::uint8_t>(chunk))) {
            return refuseWith("cannot read the chunk at byte " + std::to_string(pos));
        }
        const std::uint64_t size = getLE32(chunk + 4);
        if (size > end - pos - 8) {
            return refuseWith("truncated: chunk '" + printableId(chunk) + "' of " + std::to_string(size) +
                              " bytes overruns the file");
        }
        if (idIs(chunk, "fmt ")) {
            if (fmt) {
                return refuseWith("two fmt chunks");
            }
            // checkFmt looks at no more than the first kFmtBytesLooked bytes of the body.
            std::array<std::uint8_t, kFmtBytesLooked> body{};
            const auto have = static_cast<std::size_t>(std::min<std::uint64_t>(size, body.size()));
            if (!fetch(pos + 8, std::span<std::uint8_t>(body.data(), have))) {
                return refuseWith("cannot read the fmt chunk");
            }
            Fmt parsed;
            if (auto why = checkFmt(body.data(), static_cast<std::uint32_t>(size), parsed); !why.empty()) {
                return refuseWith(why);
            }
            fmt = parsed;
        } else if (idIs(chunk, "data")) {
            if (!fmt) {
                return refuseWith("data chunk before the fmt chunk");
            }
            if (size % fmt->blockAlign != 0) {
                return refuseWith("data length " + std::to_string(size) + " is not a whole number of " +
                                  std::to_string(fmt->blockAlign) + "-byte frames");
            }
            return Layout{*fmt, pos + 8, size};
        }
        // Chunks are word-aligned: an odd-sized one is followed by a pad byte.
        pos += 8 + size + (size & 1);
    }
    return refuseWith(fmt ? "no data chunk" : "no fmt chunk");
}

}  // namespace

WavReadResult ReadWav(std::span<const std::uint8_t> bytes)
{
    std::string error;
    const auto layout = findLayout(
        bytes.size(),
        [&](std::uint64_t offset, std::span<std::uint8_t> out) {
            std::memcpy(out.data(), bytes.data() + offset, out.size());
            return true;
        },
        error);
    if (!layout) {
        return refuse(std::move(error));
    }
    WavAudio audio;
    audio.sampleRate = static_cast<std::int32_t>(layout->fmt.rate);
    audio.channels = static_cast<std::int16_t>(layout->fmt.channels);
    audio.samples.resize(static_cast<std::size_t>(layout->dataBytes / 2));
    const std::uint8_t* body = bytes.data() + layout->dataOffset;
    for (std::size_t i = 0; i < audio.samples.size(); ++i) {
        audio.samples[i] = static_cast<std::int16_t>(getLE16(body + 2 * i));
    }
    return WavReadResult{std::move(audio), {}};
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

std::optional<WavFileReader> WavFileReader::open(const std::string& path, std::string& error)
{
    WavFileReader reader;
    reader.file_.reset(std::fopen(path.c_str(), "rb"));
    std::FILE* f = reader.file_.get();
    if (f == nullptr) {
        error = "cannot open '" + path + "'";
        return std::nullopt;
    }
    // The samples are read in large pieces straight into the caller's buffer; a stdio buffer
    // would only add a copy.
    std::setvbuf(f, nullptr, _IONBF, 0);
    if (std::fseek(f, 0, SEEK_END) != 0) {
        error = "cannot read '" + path + "'";
        return std::nullopt;
    }
    const long size = std::ftell(f);
    if (size < 0) {
        error = "cannot read '" + path + "'";
        return std::nullopt;
    }
    const auto layout = findLayout(
        static_cast<std::uint64_t>(size),
        [f](std::uint64_t offset, std::span<std::uint8_t> out) {
            return std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 &&
                   std::fread(out.data(), 1, out.size(), f) == out.size();
        },
        error);
    if (!layout) {
        return std::nullopt;
    }
    if (std::fseek(f, static_cast<long>(layout->dataOffset), SEEK_SET) != 0) {
        error = "cannot read '" + path + "'";
        return std::nullopt;
    }
    reader.sampleRate_ = static_cast<std::int32_t>(layout->fmt.rate);
    reader.channels_ = static_cast<std::int16_t>(layout->fmt.channels);
    reader.samplesLeft_ = layout->dataBytes / 2;
    return reader;
}

std::size_t WavFileReader::read(std::span<std::int16_t> out)
{
    // The file's little-endian samples are the host's int16_t as they lie.
    static_assert(std::endian::native == std::endian::little);
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), samplesLeft_));
    if (want == 0 || failed_) {
        return 0;
    }
    const std::size_t got = std::fread(out.data(), sizeof(std::int16_t), want, file_.get());
    samplesLeft_ -= got;
    if (got < want) {
        failed_ = true;  // the file became shorter than its header says
    }
    return got;
}

}  // namespace quillon
