#include "encoder/codecs/GsmEncoder.h"

#include <gsm.h>

#include <algorithm>
#include <array>
#include <new>

#include "encoder/codecs/FormatRecord.h"

namespace quillon {

void GsmEncoder::Deleter::operator()(gsm_state* state) const
{
    gsm_destroy(state);
}

GsmEncoder::GsmEncoder()
{
    reset();
}

void GsmEncoder::reset()
{
    // A fresh state also restarts the WAV packing on the first half of a block.
    state_.reset(gsm_create());
    if (!state_) {
        throw std::bad_alloc();
    }
    int on = 1;
    gsm_option(state_.get(), GSM_OPT_WAV49, &on);
}

void GsmEncoder::encodeBlock(const std::int16_t* in, std::uint8_t* out)
{
    // libgsm takes non-const samples, so each frame goes through a copy. With the WAV packing
    // the first frame takes 32 bytes and a half, the second the rest.
    std::array<gsm_signal, 160> frame{};
    std::copy_n(in, frame.size(), frame.begin());
    gsm_encode(state_.get(), frame.data(), out);
    std::copy_n(in + 160, frame.size(), frame.begin());
    gsm_encode(state_.get(), frame.data(), out + 32);
}

std::vector<std::uint8_t> GsmEncoder::format() const
{
    return MakeGsm610Format();
}

std::vector<std::uint8_t> MakeGsm610Format()
{
    WaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_GSM610;
    f.nChannels = 1;
    f.nSamplesPerSec = GsmEncoder::kRate;
    f.nBlockAlign = GsmEncoder::kBlockAlign;
    f.nAvgBytesPerSec =
        static_cast<std::uint32_t>(GsmEncoder::kRate * GsmEncoder::kBlockAlign / GsmEncoder::kFramesPerBlock);
    f.wBitsPerSample = 0;
    std::vector<std::uint8_t> extra;
    AppendLE16(extra, static_cast<std::uint16_t>(GsmEncoder::kFramesPerBlock));
    return BuildFormatRecord(f, extra);
}

}  // namespace quillon
