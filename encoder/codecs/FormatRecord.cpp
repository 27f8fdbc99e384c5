#include "encoder/codecs/FormatRecord.h"

namespace quillon {

void AppendLE16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xff));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> BuildFormatRecord(WaveFormatEx header, std::span<const std::uint8_t> extra)
{
    header.cbSize = static_cast<std::uint16_t>(extra.size());
    std::vector<std::uint8_t> out = header.bytes();
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

}  // namespace quillon
