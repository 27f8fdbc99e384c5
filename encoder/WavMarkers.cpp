#include "encoder/WavMarkers.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "encoder/WavRepair.h"

namespace quillon {

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

void putId(std::vector<std::uint8_t>& out, const char* id)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(id[i]));
    }
}

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

bool printableId(const std::uint8_t* p)
{
    return std::all_of(p, p + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7e; });
}

// One line per marker: tabs and line ends in a label would end it early.
std::string lineSafe(std::string_view label)
{
    std::string text(label);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r' || c == '\0'; }, ' ');
    return text;
}

// More cue points than this in one file are not believed (a damaged or hostile count).
constexpr std::uint32_t kMaxPoints = 1U << 16;

}  // namespace

std::vector<std::uint8_t> MarkerChunks(std::span<const WavMarker> markers)
{
    std::vector<std::uint8_t> out;
    if (markers.empty()) {
        return out;
    }
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(markers.size(), kMaxPoints));
    putId(out, "cue ");
    put32(out, 4 + 24 * count);
    put32(out, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        put32(out, i + 1);  // point id
        put32(out, markers[i].frame);
        putId(out, "data");
        put32(out, 0);  // chunk start
        put32(out, 0);  // block start
        put32(out, markers[i].frame);
    }
    std::vector<std::uint8_t> labels;
    putId(labels, "adtl");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string text = lineSafe(markers[i].label);
        putId(labels, "labl");
        put32(labels, static_cast<std::uint32_t>(4 + text.size() + 1));
        put32(labels, i + 1);
        labels.insert(labels.end(), text.begin(), text.end());
        labels.push_back(0);
        if (labels.size() % 2 != 0) {
            labels.push_back(0);
        }
    }
    putId(out, "LIST");
    put32(out, static_cast<std::uint32_t>(labels.size()));
    out.insert(out.end(), labels.begin(), labels.end());
    return out;
}

std::filesystem::path MarkerSidePath(const std::filesystem::path& take)
{
    std::filesystem::path side = take;
    side += ".markers";
    return side;
}

std::string MarkerSideLine(const WavMarker& marker)
{
    return std::to_string(marker.frame) + '\t' + lineSafe(marker.label) + '\n';
}

std::vector<WavMarker> ParseMarkerSideFile(std::string_view text)
{
    std::vector<WavMarker> markers;
    while (markers.size() < kMaxPoints) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            break;  // a line the crash cut short
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0) {
            continue;
        }
        std::uint32_t frame = 0;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + tab, frame);
        if (error != std::errc() || rest != line.data() + tab) {
            continue;
        }
        markers.push_back({frame, std::string(line.substr(tab + 1))});
    }
    return markers;
}

std::optional<WavMarkerList> ReadWavMarkers(const ByteSource& source)
{
    std::uint8_t riff[12]{};
    if (source.size() < 12 || !source.read(0, riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    WavMarkerList list;
    std::vector<std::uint32_t> ids;
    std::vector<std::pair<std::uint32_t, std::string>> labels;
    const std::uint64_t end = source.size();
    for (std::uint64_t offset = 12; offset + 8 <= end;) {
        std::uint8_t head[8]{};
        if (!source.read(offset, head) || !printableId(head)) {
            break;
        }
        const std::uint32_t size = le32(head + 4);
        const std::uint64_t body = offset + 8;
        const std::uint64_t avail = std::min<std::uint64_t>(size, end - body);
        if (std::memcmp(head, "fmt ", 4) == 0 && avail >= 8) {
            std::uint8_t fmt[8]{};
            if (source.read(body, fmt)) {
                list.sampleRate = le32(fmt + 4);
            }
        } else if (std::memcmp(head, "cue ", 4) == 0 && avail >= 4) {
            std::uint8_t countBytes[4]{};
            source.read(body, countBytes);
            const std::uint64_t count = std::min<std::uint64_t>({le32(countBytes), (avail - 4) / 24, kMaxPoints});
            for (std::uint64_t i = 0; i < count; ++i) {
                std::uint8_t point[24]{};
                if (!source.read(body + 4 + 24 * i, point)) {
                    break;
                }
                ids.push_back(le32(point));
                list.markers.push_back({le32(point + 20), {}});
            }
        } else if (std::memcmp(head, "LIST", 4) == 0 && avail >= 4) {
            std::uint8_t type[4]{};
            if (source.read(body, type) && std::memcmp(type, "adtl", 4) == 0) {
                for (std::uint64_t at = body + 4; at + 12 <= body + avail && labels.size() < kMaxPoints;) {
                    std::uint8_t sub[12]{};
                    if (!source.read(at, sub)) {
                        break;
                    }
                    const std::uint32_t subSize = le32(sub + 4);
                    if (subSize < 4 || at + 8 + subSize > body + avail) {
                        break;
                    }
                    if (std::memcmp(sub, "labl", 4) == 0 || std::memcmp(sub, "note", 4) == 0) {
                        std::string text(subSize - 4, '\0');
                        source.read(at + 12,
                                    std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(text.data()), text.size()));
                        text.resize(std::strlen(text.c_str()));
                        if (std::memcmp(sub, "labl", 4) == 0) {
                            labels.emplace_back(le32(sub + 8), std::move(text));
                        }
                    }
                    at += 8 + subSize + (subSize % 2);
                }
            }
        }
        offset = body + size + (size % 2);
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const auto found = std::find_if(labels.begin(), labels.end(), [&](const auto& l) { return l.first == ids[i]; });
        if (found != labels.end()) {
            list.markers[i].label = found->second;
        }
    }
    return list;
}

}  // namespace quillon
