#include "ReferenceChain.h"

#include <cfloat>
#include <cmath>

namespace quillon::test {
namespace {

// 32-bit state; magnitudes below the normal float range are kept as 0.
float Keep(double v)
{
    if (std::fabs(v) < static_cast<double>(FLT_MIN)) {
        return 0.0f;
    }
    return static_cast<float>(v);
}

int16_t Saturate(double v)  // NaN -> 0, clip, then round half to even
{
    if (std::isnan(v)) {
        return 0;
    }
    if (v > 32767.0) {
        return 32767;
    }
    if (v < -32768.0) {
        return -32768;
    }
    return static_cast<int16_t>(std::nearbyint(v));
}

}  // namespace

ReferenceChain::ReferenceChain(Settings s) : s_(std::move(s))
{
    // echo
    delayFrames_ = static_cast<long long>(std::nearbyint(s_.samplerate / 1000.0 * s_.echoLength));
    for (auto& line : delay_) {
        line.assign(delayFrames_ > 0 ? static_cast<std::size_t>(delayFrames_) : 0, 0);
    }

    // phase shifter sweep
    const double pi = 3.1415927f;
    const double f = s_.frequency > 0.0f ? s_.frequency : 1.0;
    const double r = std::pow(2.0, static_cast<double>(s_.sweepRange));
    wMin_ = static_cast<float>(f * pi / s_.samplerate);
    wMax_ = static_cast<float>(f * pi * r / s_.samplerate);
    step_ = static_cast<float>(std::pow(r, 2.0 * s_.sweepRate / s_.samplerate));
    mult_ = step_;
    w_ = wMin_;

    // equalizer: peaking bands from 80 Hz to a third of the rate
    const double top = std::nearbyint(s_.samplerate / 3.0);
    const auto bw = static_cast<float>(std::log(top / 80.0) / 4.0);
    const std::size_t n = s_.bandGains.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double e = n == 1 ? 0.5 : static_cast<double>(i) / static_cast<double>(n - 1);
        const auto centre = static_cast<float>(std::pow(top / 80.0, e) * 80.0);
        const auto A = static_cast<float>(std::pow(10.0, s_.bandGains[i] / 40.0));
        const double omega = static_cast<double>(centre) * static_cast<double>(6.2831855f) / s_.samplerate;
        const auto sn = static_cast<float>(std::sin(omega));
        const auto cs = static_cast<float>(std::cos(omega));
        const double z = static_cast<double>(0.6931472f) / 2.0 * bw * omega / sn;
        const auto alpha = static_cast<float>(sn * ((std::exp(z) - std::exp(-z)) / 2.0));
        const double a0 = 1.0 + static_cast<double>(alpha) / A;
        Band b;
        b.b0 = static_cast<float>((1.0 + static_cast<double>(alpha) * A) / a0);
        b.b1 = static_cast<float>((-2.0 * cs) / a0);
        b.b2 = static_cast<float>((1.0 - static_cast<double>(alpha) * A) / a0);
        b.a1 = static_cast<float>((-2.0 * cs) / a0);
        b.a2 = static_cast<float>((1.0 - static_cast<double>(alpha) / A) / a0);
        if (!(bw > 0.0f)) {
            b = Band{};
            b.b0 = 1.0f;
        }
        bands_.push_back(b);
    }
}

void ReferenceChain::Process(std::span<int16_t> block)
{
    const int C = s_.channels;
    if ((s_.effects & 4) != 0) {
        const auto factor = static_cast<float>(std::pow(10.0, s_.amplifyDB / 20.0));
        for (int16_t& v : block) {
            const float p = static_cast<float>(v) * factor;
            v = Saturate(p);
        }
    }
    if ((s_.effects & 1) != 0 && delayFrames_ >= 1) {
        int ch = channel_;
        for (int16_t& v : block) {
            auto& line = delay_[static_cast<std::size_t>(ch)];
            const auto pos = static_cast<std::size_t>(delayPos_);
            const int sum = v + line[pos];
            v = Saturate(sum);
            line[pos] = Saturate(static_cast<double>(v) * static_cast<double>(s_.echoAmp));
            if (++ch == C) {
                ch = 0;
                delayPos_ = (delayPos_ + 1) % delayFrames_;
            }
        }
    }
    if ((s_.effects & 2) != 0) {
        int ch = channel_;
        for (int16_t& v : block) {
            const double x = v / 32767.0;
            const double c = (1.0 - w_) / (1.0 + w_);
            auto& in = stageIn_[static_cast<std::size_t>(ch)];
            auto& out = stageOut_[static_cast<std::size_t>(ch)];
            double stage = x + out[3] * static_cast<double>(s_.feedback);
            for (std::size_t k = 0; k < 4; ++k) {
                const double y = c * (stage + out[k]) - in[k];
                in[k] = Keep(stage);
                out[k] = Keep(y);
                stage = y;
            }
            const double mixed = s_.wet * stage + s_.dry * x;
            v = Saturate(static_cast<float>(mixed * 32767.0));
            if (++ch == C) {
                ch = 0;
                w_ = w_ * mult_;
                if (w_ > wMax_) {
                    mult_ = static_cast<float>(1.0 / step_);
                } else if (w_ < wMin_) {
                    mult_ = step_;
                }
            }
        }
    }
    if ((s_.effects & 8) != 0) {
        for (Band& b : bands_) {
            int ch = channel_;
            for (int16_t& v : block) {
                const auto c = static_cast<std::size_t>(ch);
                const auto x = static_cast<float>(v / 32767.0);
                double y = static_cast<double>(b.b0) * x + static_cast<double>(b.b1) * b.x1[c];
                y = y + static_cast<double>(b.b2) * b.x2[c];
                y = y - static_cast<double>(b.a1) * b.y1[c];
                y = y - static_cast<double>(b.a2) * b.y2[c];
                b.x2[c] = b.x1[c];
                b.x1[c] = x;
                b.y2[c] = b.y1[c];
                b.y1[c] = Keep(y);
                if (std::isnan(y)) {
                    v = 0;
                } else if (y > 1.0) {
                    v = 32767;
                } else if (y < -1.0) {
                    v = -32768;
                } else {
                    v = static_cast<int16_t>(std::nearbyint(y * 32767.0));
                }
                if (++ch == C) {
                    ch = 0;
                }
            }
        }
    }
    channel_ = static_cast<int>((static_cast<std::size_t>(channel_) + block.size()) % static_cast<std::size_t>(C));
}

}  // namespace quillon::test
