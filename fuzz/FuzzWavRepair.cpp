// Any bytes through the repair planner: no crash, and the promises the start-up
// repair relies on hold (never longer, sizes match the result, a second pass is a no-op).
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "encoder/WavMarkers.h"
#include "encoder/WavRepair.h"

namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::uint64_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    // The listen-back window reads the markers of whatever file it plays.
    (void)quillon::ReadWavMarkers(quillon::MemoryByteSource(bytes));
    // A side file left by a crash is read back the same way.
    (void)quillon::ParseMarkerSideFile(std::string_view(reinterpret_cast<const char*>(data), size));
    const quillon::WavRepairPlan plan = quillon::planWavRepair(quillon::MemoryByteSource(bytes));
    if (plan.verdict != quillon::WavVerdict::Repairable) {
        return 0;
    }
    check(plan.newLength <= size && plan.newLength >= plan.dataSizeOffset + 4);
    quillon::applyWavRepair(bytes, plan);
    check(bytes.size() == plan.newLength);
    check(le32(bytes, 4) == bytes.size() - 8);
    check(plan.dataSizeOffset + 4 + le32(bytes, plan.dataSizeOffset) <= bytes.size());
    const quillon::WavRepairPlan again = quillon::planWavRepair(quillon::MemoryByteSource(bytes));
    check(again.verdict == quillon::WavVerdict::Intact);
    return 0;
}
