// PCM output of the conversion layer: channel mapping, resampling with libsoxr, and the
// integer / float sample encodings.
#include "encoder/acm/AcmPcm.h"

#include <soxr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "encoder/acm/AcmStream.h"

namespace quillon::acm {

namespace {

struct SoxrDeleter {
    void operator()(soxr_t s) const { soxr_delete(s); }
};
using SoxrPtr = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

enum class Encoding { U8, S16, S24, S32, F32 };

struct PcmTarget {
    WaveFormatEx format;
    Encoding encoding = Encoding::S16;
};

std::optional<PcmTarget> pcmTarget(std::span<const std::uint8_t> bytes)
{
    const auto f = WaveFormatEx::parse(bytes);
    if (!f || (f->nChannels != 1 && f->nChannels != 2) || f->nSamplesPerSec < kAcmMinRate ||
        f->nSamplesPerSec > kAcmMaxRate) {
        return std::nullopt;
    }
    PcmTarget t{*f, Encoding::S16};
    if (f->wFormatTag == WAVE_FORMAT_PCM) {
        switch (f->wBitsPerSample) {
            case 8:
                t.encoding = Encoding::U8;
                break;
            case 16:
                t.encoding = Encoding::S16;
                break;
            case 24:
                t.encoding = Encoding::S24;
                break;
            case 32:
                t.encoding = Encoding::S32;
                break;
            default:
                return std::nullopt;
        }
    } else if (f->wFormatTag == WAVE_FORMAT_IEEE_FLOAT && f->wBitsPerSample == 32) {
        t.encoding = Encoding::F32;
    } else {
        return std::nullopt;
    }
    // A record whose derived fields disagree is not a format we can write truthfully.
    if (f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8 ||
        f->nAvgBytesPerSec != f->nBlockAlign * f->nSamplesPerSec) {
        return std::nullopt;
    }
    return t;
}

// Samples arrive on the 16-bit scale; each encoding saturates before it rounds (halves to even).
template <Encoding E>
void encode(const float* in, std::size_t count, std::uint8_t* out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const float x = in[i];
        if constexpr (E == Encoding::U8) {
            const float v = std::clamp(x / 256.0F + 128.0F, 0.0F, 255.0F);
            out[i] = static_cast<std::uint8_t>(std::nearbyint(v));
        } else if constexpr (E == Encoding::S16) {
            const auto v = static_cast<std::int16_t>(std::nearbyint(std::clamp(x, -32768.0F, 32767.0F)));
            putLE16(out + 2 * i, static_cast<std::uint16_t>(v));
        } else if constexpr (E == Encoding::S24) {
            const auto v = static_cast<std::int32_t>(std::nearbyint(std::clamp(x * 256.0F, -8388608.0F, 8388607.0F)));
            const auto u = static_cast<std::uint32_t>(v);
            out[3 * i] = static_cast<std::uint8_t>(u);
            out[3 * i + 1] = static_cast<std::uint8_t>(u >> 8);
            out[3 * i + 2] = static_cast<std::uint8_t>(u >> 16);
        } else if constexpr (E == Encoding::S32) {
            // Double: the 32-bit limits are not representable in float.
            const double v = std::clamp(static_cast<double>(x) * 65536.0, -2147483648.0, 2147483647.0);
            putLE32(out + 4 * i, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::nearbyint(v))));
        } else {
            const float v = std::clamp(x / 32768.0F, -1.0F, 1.0F);
            std::uint32_t bits = 0;
            static_assert(sizeof(bits) == sizeof(v));
            std::memcpy(&bits, &v, sizeof(bits));
            putLE32(out + 4 * i, bits);
        }
    }
}

class PcmConverter final : public AcmCodec {
public:
    PcmConverter(const WaveFormatEx& source, const PcmTarget& target, SoxrPtr resampler)
        : source_(source), target_(target), resampler_(std::move(resampler))
    {
        switch (target.encoding) {
            case Encoding::U8:
                encode_ = &encode<Encoding::U8>;
                break;
            case Encoding::S16:
                encode_ = &encode<Encoding::S16>;
                break;
            case Encoding::S24:
                encode_ = &encode<Encoding::S24>;
                break;
            case Encoding::S32:
                encode_ = &encode<Encoding::S32>;
                break;
            case Encoding::F32:
                encode_ = &encode<Encoding::F32>;
                break;
        }
    }

    [[nodiscard]] std::uint32_t sourceBlockAlign() const override { return source_.nBlockAlign; }

    [[nodiscard]] std::uint32_t destinationSize(std::uint32_t sourceBytes) const override
    {
        std::uint64_t frames = sourceBytes / source_.nBlockAlign;
        if (resampler_) {
            const std::uint64_t out = target_.format.nSamplesPerSec;
            frames = (frames * out + source_.nSamplesPerSec - 1) / source_.nSamplesPerSec;
            // Room for what the resampler still holds back when it is drained.
            frames += out / 10 + 256;
        }
        const std::uint64_t bytes = frames * target_.format.nBlockAlign;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, std::numeric_limits<std::uint32_t>::max()));
    }

    [[nodiscard]] std::uint32_t sourceSize(std::uint32_t destinationBytes) const override
    {
        const std::uint64_t frames = destinationBytes / target_.format.nBlockAlign;
        const std::uint64_t in = frames * source_.nSamplesPerSec / target_.format.nSamplesPerSec;
        return static_cast<std::uint32_t>(
            std::min<std::uint64_t>(in * source_.nBlockAlign, std::numeric_limits<std::uint32_t>::max()));
    }

    std::optional<Converted> convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                                     bool end) override
    {
        const std::size_t outChannels = target_.format.nChannels;
        const std::size_t outFrame = target_.format.nBlockAlign;
        const std::size_t room = destination.size() / outFrame;
        std::size_t frames = source.size() / source_.nBlockAlign;
        if (!resampler_) {
            frames = std::min(frames, room);
        }
        if (drained_ && frames > 0) {
            return std::nullopt;  // the stream ended; the resampler takes no more input
        }
        if (!resampler_ && source_.nChannels == outChannels && target_.encoding == Encoding::S16) {
            // The capture format itself, the usual case: the bytes go out as they came in.
            std::memcpy(destination.data(), source.data(), frames * outFrame);
            return Converted{static_cast<std::uint32_t>(frames * outFrame),
                             static_cast<std::uint32_t>(frames * outFrame)};
        }
        mix(source.first(frames * source_.nBlockAlign), frames);

        if (!resampler_) {
            encode_(mixed_.data(), frames * outChannels, destination.data());
            return Converted{static_cast<std::uint32_t>(frames * source_.nBlockAlign),
                             static_cast<std::uint32_t>(frames * outFrame)};
        }

        // All resampler output goes through `pending_`, so every whole frame offered is taken
        // even when the destination is short; what does not fit goes out with the next call.
        std::size_t consumed = 0;
        while (consumed < frames) {
            const std::size_t want =
                (frames - consumed) * target_.format.nSamplesPerSec / source_.nSamplesPerSec + 1024;
            std::size_t used = 0;
            std::size_t made = 0;
            const std::size_t before = pending_.size();
            pending_.resize(before + want * outChannels);
            const soxr_error_t error = soxr_process(resampler_.get(), mixed_.data() + consumed * outChannels,
                                                    frames - consumed, &used, pending_.data() + before, want, &made);
            pending_.resize(before + made * outChannels);
            if (error != nullptr) {
                if (consumed == 0 && pendingFrames() == 0) {
                    return std::nullopt;
                }
                break;
            }
            consumed += used;
            if (used == 0 && made == 0) {
                break;
            }
        }
        if (end && !drained_) {
            // A null input tells soxr the signal has ended; it then hands out its delay line.
            std::size_t made = 0;
            do {
                constexpr std::size_t step = 4096;
                const std::size_t before = pending_.size();
                pending_.resize(before + step * outChannels);
                made = 0;
                const soxr_error_t error =
                    soxr_process(resampler_.get(), nullptr, 0, nullptr, pending_.data() + before, step, &made);
                pending_.resize(before + made * outChannels);
                if (error != nullptr) {
                    break;
                }
            } while (made > 0);
            drained_ = true;
        }
        const std::size_t produced = std::min(pendingFrames(), room);
        encode_(pending_.data() + pendingHead_ * outChannels, produced * outChannels, destination.data());
        pendingHead_ += produced;
        if (pendingHead_ == pending_.size() / outChannels) {
            pending_.clear();
            pendingHead_ = 0;
        }
        return Converted{static_cast<std::uint32_t>(consumed * source_.nBlockAlign),
                         static_cast<std::uint32_t>(produced * outFrame)};
    }

private:
    // Interleaved 16-bit frames to floats in the target's channel layout: mono is copied to both
    // sides, stereo is averaged down to mono.
    void mix(std::span<const std::uint8_t> source, std::size_t frames)
    {
        const std::size_t inChannels = source_.nChannels;
        const std::size_t outChannels = target_.format.nChannels;
        if (mixed_.size() < frames * outChannels) {
            mixed_.resize(frames * outChannels);
        }
        const std::uint8_t* p = source.data();
        float* out = mixed_.data();
        auto sample = [](const std::uint8_t* q) { return static_cast<float>(static_cast<std::int16_t>(getLE16(q))); };
        if (inChannels == outChannels) {
            for (std::size_t i = 0; i < frames * inChannels; ++i) {
                out[i] = sample(p + 2 * i);
            }
        } else if (inChannels == 1) {
            for (std::size_t i = 0; i < frames; ++i) {
                out[2 * i] = out[2 * i + 1] = sample(p + 2 * i);
            }
        } else {
            for (std::size_t i = 0; i < frames; ++i) {
                out[i] = (sample(p + 4 * i) + sample(p + 4 * i + 2)) * 0.5F;
            }
        }
    }

    WaveFormatEx source_;
    PcmTarget target_;
    SoxrPtr resampler_;
    void (*encode_)(const float*, std::size_t, std::uint8_t*) = nullptr;
    [[nodiscard]] std::size_t pendingFrames() const
    {
        return pending_.size() / target_.format.nChannels - pendingHead_;
    }

    std::vector<float> mixed_;
    std::vector<float> pending_;  // resampled frames not yet handed out, from pendingHead_ on
    std::size_t pendingHead_ = 0;
    bool drained_ = false;
};

class PcmDriver final : public AcmDriver {
public:
    [[nodiscard]] std::vector<AcmFormatTag> formatTags() const override
    {
        return {{WAVE_FORMAT_PCM, "PCM"}, {WAVE_FORMAT_IEEE_FLOAT, "IEEE Float"}};
    }

    [[nodiscard]] std::unique_ptr<AcmCodec> open(const WaveFormatEx& source,
                                                 std::span<const std::uint8_t> destination) const override
    {
        const auto target = pcmTarget(destination);
        if (!target) {
            return nullptr;
        }
        SoxrPtr resampler;
        if (target->format.nSamplesPerSec != source.nSamplesPerSec) {
            soxr_error_t error = nullptr;
            const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
            resampler.reset(soxr_create(source.nSamplesPerSec, target->format.nSamplesPerSec, target->format.nChannels,
                                        &error, &io, &quality, nullptr));
            if (error != nullptr || !resampler) {
                return nullptr;
            }
        }
        return std::make_unique<PcmConverter>(source, *target, std::move(resampler));
    }

    [[nodiscard]] std::vector<AcmFormatDetails> formats(const WaveFormatEx& source) const override
    {
        std::vector<std::uint32_t> rates = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000};
        if (std::find(rates.begin(), rates.end(), source.nSamplesPerSec) == rates.end()) {
            rates.insert(std::upper_bound(rates.begin(), rates.end(), source.nSamplesPerSec), source.nSamplesPerSec);
        }
        std::vector<AcmFormatDetails> list;
        for (const std::uint32_t rate : rates) {
            for (const std::uint16_t bits : std::initializer_list<std::uint16_t>{8, 16, 24, 32}) {
                for (const std::uint16_t channels : std::initializer_list<std::uint16_t>{1, 2}) {
                    list.push_back({WAVE_FORMAT_PCM, "PCM", acmPcmDescription(rate, bits, channels),
                                    acmPcmFormat(rate, channels, bits, false)});
                }
            }
        }
        for (const std::uint32_t rate : rates) {
            for (const std::uint16_t channels : std::initializer_list<std::uint16_t>{1, 2}) {
                list.push_back({WAVE_FORMAT_IEEE_FLOAT, "IEEE Float", acmPcmDescription(rate, 32, channels),
                                acmPcmFormat(rate, channels, 32, true)});
            }
        }
        return list;
    }
};

}  // namespace

std::unique_ptr<AcmDriver> makePcmDriver()
{
    return std::make_unique<PcmDriver>();
}

std::vector<std::uint8_t> acmPcmFormat(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits, bool isFloat)
{
    WaveFormatEx f;
    f.wFormatTag = isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    f.wBitsPerSample = bits;
    f.cbSize = 0;
    return f.bytes();
}

std::string acmPcmDescription(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels)
{
    // The rate in kHz, exact, without trailing zeros: 44100 -> 44.1, 11025 -> 11.025, 8000 -> 8.
    std::string khz = std::to_string(rate / 1000);
    std::string fraction = std::to_string(rate % 1000 + 1000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        khz += "." + fraction;
    }
    return khz + " kHz " + std::to_string(bits) + " Bit " + (channels == 2 ? "Stereo" : "Mono");
}

}  // namespace quillon::acm
