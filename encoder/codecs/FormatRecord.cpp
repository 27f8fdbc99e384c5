#include "encoder/codecs/FormatRecord.h"

namespace quillon {

void AppendLE16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xff));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

namespace {
void appendLE32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    AppendLE16(out, static_cast<std::uint16_t>(value & 0xffff));
    AppendLE16(out, static_cast<std::uint16_t>(value >> 16));
}
}  // namespace

std::vector<std::uint8_t> BuildFormatRecord(const CodecFormatFields& fields, std::span<const std::uint8_t> extra)
{
    std::vector<std::uint8_t> out;
    out.reserve(18 + extra.size());
    AppendLE16(out, fields.tag);
    AppendLE16(out, fields.channels);
    appendLE32(out, fields.rate);
    appendLE32(out, fields.bytesPerSecond);
    AppendLE16(out, fields.blockAlign);
    AppendLE16(out, fields.bitsPerSample);
    AppendLE16(out, static_cast<std::uint16_t>(extra.size()));
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

}  // namespace quillon
