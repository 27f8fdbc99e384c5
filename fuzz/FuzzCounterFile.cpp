// Any nu.ini content through the counter parser: no crash, and an accepted counter
// written back reads as the same number.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "recording/FileCounter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const auto counter = quillon::ParseCounter(content);
    if (counter) {
        const auto again = quillon::ParseCounter(quillon::CounterFileContent(*counter));
        if (!again || *again != *counter) {
            std::abort();
        }
    }
    return 0;
}
