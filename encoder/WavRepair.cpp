#include "encoder/WavRepair.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace quillon {

namespace {

constexpr std::uint64_t kMaxRiffLength = std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 8;

using Id = std::array<std::uint8_t, 4>;

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

void putLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

bool isId(const std::uint8_t* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

// Chunk names are four printable characters; anything else means the walk went astray.
bool isFourcc(const std::uint8_t* p)
{
    return std::all_of(p, p + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7e; });
}

struct ChunkHeader {
    std::uint8_t bytes[8]{};
    [[nodiscard]] std::uint32_t size() const { return le32(bytes + 4); }
};

bool readChunk(const ByteSource& src, std::uint64_t offset, ChunkHeader& out)
{
    return offset + 8 <= src.size() && src.read(offset, out.bytes);
}

// Our own writer puts no pad byte after an odd-sized format chunk, other writers
// do; take whichever position holds the next chunk.
std::uint64_t nextChunkOffset(const ByteSource& src, std::uint64_t offset, std::uint32_t size)
{
    const std::uint64_t bare = offset + 8 + size;
    if (size % 2 == 0) {
        return bare;
    }
    ChunkHeader atBare;
    ChunkHeader atPadded;
    const bool haveBare = readChunk(src, bare, atBare);
    const bool havePadded = readChunk(src, bare + 1, atPadded);
    if (haveBare && isId(atBare.bytes, "data")) {
        return bare;
    }
    if (havePadded && isFourcc(atPadded.bytes)) {
        return bare + 1;
    }
    if (haveBare && isFourcc(atBare.bytes)) {
        return bare;
    }
    return bare + 1;
}

// True when the chunks from `offset` account for every byte up to the end.
bool chunksReachEnd(const ByteSource& src, std::uint64_t offset)
{
    const std::uint64_t end = src.size();
    while (offset < end) {
        ChunkHeader chunk;
        if (!readChunk(src, offset, chunk) || !isFourcc(chunk.bytes)) {
            return false;
        }
        // A cue chunk holds its count of 24-byte points and nothing else: audio that happens
        // to spell the name is not taken for one.
        if (isId(chunk.bytes, "cue ")) {
            std::uint8_t count[4]{};
            if (chunk.size() < 4 || !src.read(offset + 8, count) ||
                std::uint64_t{chunk.size()} != 4 + 24 * std::uint64_t{le32(count)}) {
                return false;
            }
        }
        offset += 8 + std::uint64_t{chunk.size()};
        if (chunk.size() % 2 != 0 && offset < end) {
            ++offset;
        }
    }
    return offset == end;
}

}  // namespace

bool MemoryByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
        return false;
    }
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

WavRepairPlan planWavRepair(const ByteSource& src)
{
    WavRepairPlan plan;
    const std::uint64_t length = src.size();
    std::uint8_t riff[12]{};
    if (length < 12 || !src.read(0, riff) || !isId(riff, "RIFF") || !isId(riff + 8, "WAVE")) {
        return plan;
    }

    bool haveFmt = false;
    std::uint16_t blockAlign = 0;
    bool haveData = false;
    std::uint64_t dataHeader = 0;
    std::uint32_t dataSize = 0;
    for (std::uint64_t offset = 12;;) {
        ChunkHeader chunk;
        if (!readChunk(src, offset, chunk) || !isFourcc(chunk.bytes)) {
            break;
        }
        if (isId(chunk.bytes, "data")) {
            haveData = true;
            dataHeader = offset;
            dataSize = chunk.size();
            break;
        }
        if (isId(chunk.bytes, "fmt ") && !haveFmt) {
            std::uint8_t fmt[16]{};
            if (chunk.size() < 16 || !src.read(offset + 8, fmt)) {
                break;
            }
            haveFmt = true;
            blockAlign = static_cast<std::uint16_t>(fmt[12] | fmt[13] << 8);
        }
        offset = nextChunkOffset(src, offset, chunk.size());
    }

    if (!haveData) {
        plan.verdict = WavVerdict::Unrecoverable;
        return plan;
    }
    if (length > kMaxRiffLength) {
        plan.verdict = WavVerdict::TooLarge;
        return plan;
    }
    const std::uint64_t dataStart = dataHeader + 8;
    const std::uint64_t dataEnd = dataStart + dataSize;
    plan.dataSizeOffset = dataHeader + 4;
    plan.riffSize = static_cast<std::uint32_t>(length - 8);

    const bool tailIntact =
        dataEnd <= length && (chunksReachEnd(src, dataEnd) || (dataSize % 2 != 0 && chunksReachEnd(src, dataEnd + 1)));
    if (tailIntact) {
        // The chunks are whole; at most the RIFF size lags behind.
        plan.newLength = length;
        plan.dataSize = dataSize;
        plan.verdict = le32(riff + 4) == plan.riffSize ? WavVerdict::Intact : WavVerdict::Repairable;
        return plan;
    }

    if (!haveFmt || blockAlign == 0) {
        plan.verdict = WavVerdict::Unrecoverable;
        return plan;
    }
    // The stop writes the exact data size before it appends the markers: a crash in between
    // leaves a whole data chunk followed by a torn cue or list chunk, which is cut off.
    const std::uint64_t tailAt = dataEnd + dataSize % 2;
    std::uint8_t tail[4]{};
    if (dataSize % blockAlign == 0 && tailAt + 4 <= length && src.read(tailAt, tail) &&
        (isId(tail, "cue ") || isId(tail, "LIST"))) {
        plan.newLength = tailAt;
        plan.riffSize = static_cast<std::uint32_t>(tailAt - 8);
        plan.dataSize = dataSize;
        plan.tornMarkers = true;
        plan.verdict = WavVerdict::Repairable;
        return plan;
    }

    // The audio runs to the end of the file: take its size from the length, in whole blocks.
    const std::uint64_t available = length - dataStart;
    const std::uint64_t whole = available - available % blockAlign;
    plan.newLength = dataStart + whole;
    plan.riffSize = static_cast<std::uint32_t>(plan.newLength - 8);
    plan.dataSize = static_cast<std::uint32_t>(whole);
    plan.verdict = WavVerdict::Repairable;
    return plan;
}

void applyWavRepair(std::vector<std::uint8_t>& bytes, const WavRepairPlan& plan)
{
    if (plan.verdict != WavVerdict::Repairable || plan.newLength > bytes.size()) {
        return;
    }
    bytes.resize(plan.newLength);
    putLe32(bytes.data() + 4, plan.riffSize);
    putLe32(bytes.data() + plan.dataSizeOffset, plan.dataSize);
}

std::string recoveryMessage(const FolderRepairReport& report)
{
    std::string text;
    if (!report.repaired.empty()) {
        text += kRepairedHeading;
        for (const auto& file : report.repaired) {
            text += '\n';
            text += file.filename().string();
        }
    }
    if (!report.unrecoverable.empty()) {
        if (!text.empty()) {
            text += "\n\n";
        }
        text += kUnrepairableHeading;
        for (const auto& file : report.unrecoverable) {
            text += '\n';
            text += file.filename().string();
        }
    }
    return text;
}

}  // namespace quillon
