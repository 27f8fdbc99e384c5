// Any bytes through the reader of `quillon-cli process`: no crash, no read outside the
// input, and what it accepts is consistent with what it reports.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "encoder/WavReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const quillon::WavReadResult result = quillon::ReadWav(std::span<const std::uint8_t>(data, size));
    if (!result.audio) {
        if (result.error.empty()) {
            std::abort();  // a refusal always says why
        }
        return 0;
    }
    const quillon::WavAudio& audio = *result.audio;
    const bool sane = result.error.empty() && (audio.channels == 1 || audio.channels == 2) && audio.sampleRate >= 1 &&
                      audio.sampleRate <= quillon::kWavReaderMaxRate &&
                      audio.samples.size() % static_cast<std::size_t>(audio.channels) == 0 &&
                      audio.samples.size() * 2 <= size;
    if (!sane) {
        std::abort();
    }
    return 0;
}
