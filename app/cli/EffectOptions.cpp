#include "app/cli/EffectOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <iterator>

#include "app/cli/CliParse.h"
#include "effects/clsDSP.h"

namespace quillon::cli {

const char* const kEffectOptionsUsage =
    "  --effects LIST          effects to switch on, any of amp,echo,phase,eq (default: none)\n"
    "  --amp-db N              amplifier gain in dB (whole number)\n"
    "  --echo-length MS        echo delay in ms, 0 to 60000\n"
    "  --echo-amp X            echo feedback gain (at most 0.9)\n"
    "  --phase-dry X           phase shifter: gain of the dry input\n"
    "  --phase-wet X           phase shifter: gain of the all-pass output\n"
    "  --phase-feedback X      phase shifter: share of the output fed back\n"
    "  --phase-sweep-rate X    phase shifter: sweeps per second\n"
    "  --phase-sweep-range X   phase shifter: sweep width in octaves\n"
    "  --phase-frequency X     phase shifter: lowest sweep frequency in Hz\n"
    "  --eq-gains G0,G1,...    equalizer gain of each band in dB (1 to 10 bands)\n"
    "  --format pcm:RATE:CHANNELS:BITS\n"
    "                          output format; BITS 8, 16, 24, 32 or f32; or a compressed\n"
    "                          one: alaw, ulaw, ima-adpcm, ms-adpcm as NAME:RATE:CHANNELS,\n"
    "                          gsm610:8000:1 (quillon-cli formats lists them)\n"
    "                          (default: the rate and channels of the audio, 16 bits)\n";

namespace {

constexpr std::int32_t kMaxEchoLengthMs = 60000;

std::optional<float> parseReal(const std::string& text)
{
    float value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

const char* const kRealOptions[] = {"--echo-amp",         "--phase-dry",         "--phase-wet",      "--phase-feedback",
                                    "--phase-sweep-rate", "--phase-sweep-range", "--phase-frequency"};

}  // namespace

bool isEffectOption(const std::string& name)
{
    return name == "--effects" || name == "--amp-db" || name == "--echo-length" || name == "--eq-gains" ||
           name == "--format" ||
           std::find(std::begin(kRealOptions), std::end(kRealOptions), name) != std::end(kRealOptions);
}

std::optional<std::string> takeEffectOption(const std::string& name, const std::string& value, EffectOptions& options)
{
    if (name == "--effects") {
        options.effects = 0;
        for (const auto& effect : splitAt(value, ',')) {
            if (effect == "amp") {
                options.effects |= clsDSP::kAmplify;
            } else if (effect == "echo") {
                options.effects |= clsDSP::kEcho;
            } else if (effect == "phase") {
                options.effects |= clsDSP::kPhaseShift;
            } else if (effect == "eq") {
                options.effects |= clsDSP::kEqualizer;
            } else if (!(effect.empty() && value.empty())) {
                return std::string{"--effects: unknown effect '" + effect + "' (amp, echo, phase, eq)"};
            }
        }
    } else if (name == "--amp-db") {
        const auto v = parseInteger(value);
        if (!v || *v < -200 || *v > 200) {
            return std::string{"--amp-db: '" + value + "' is not a whole number of dB from -200 to 200"};
        }
        options.ampDb = static_cast<std::int32_t>(*v);
    } else if (name == "--echo-length") {
        const auto v = parseInteger(value);
        if (!v || *v < 0 || *v > kMaxEchoLengthMs) {
            return std::string{"--echo-length: '" + value + "' is not a whole number of ms from 0 to 60000"};
        }
        options.echoLength = static_cast<std::int32_t>(*v);
    } else if (name == "--eq-gains") {
        std::vector<float> gains;
        for (const auto& g : splitAt(value, ',')) {
            const auto v = parseReal(g);
            if (!v) {
                return std::string{"--eq-gains: '" + g + "' is not a number"};
            }
            gains.push_back(*v);
        }
        if (gains.size() > static_cast<std::size_t>(clsDSP::kMaxBands)) {
            return std::string{"--eq-gains: " + std::to_string(gains.size()) + " gains, at most " +
                               std::to_string(clsDSP::kMaxBands) + " bands"};
        }
        options.eqGains = gains;
    } else if (name == "--format") {
        options.format = value;
    } else {
        const auto v = parseReal(value);
        if (!v) {
            return name + ": '" + value + "' is not a number";
        }
        options.reals[name] = *v;
    }
    return std::nullopt;
}

void configureEffects(clsDSP& dsp, const EffectOptions& options)
{
    dsp.EffectsUsed(options.effects);
    if (options.ampDb) {
        dsp.AmplifyDB(*options.ampDb);
    }
    if (options.echoLength) {
        dsp.EchoLength(*options.echoLength);
    }
    const std::map<std::string, std::function<void(float)>> setters = {
        {"--echo-amp", [&](float v) { dsp.EchoAmp(v); }},
        {"--phase-dry", [&](float v) { dsp.PhaseShiftDry(v); }},
        {"--phase-wet", [&](float v) { dsp.PhaseShiftWet(v); }},
        {"--phase-feedback", [&](float v) { dsp.PhaseShiftFeedback(v); }},
        {"--phase-sweep-rate", [&](float v) { dsp.PhaseShiftSweepRate(v); }},
        {"--phase-sweep-range", [&](float v) { dsp.PhaseShiftSweepRange(v); }},
        {"--phase-frequency", [&](float v) { dsp.PhaseShiftFrequency(v); }},
    };
    for (const auto& [name, value] : options.reals) {
        setters.at(name)(value);
    }
    if (options.eqGains) {
        const auto bands = static_cast<std::int32_t>(options.eqGains->size());
        if (bands != dsp.EqualizerBands()) {
            dsp.EqualizerBands(bands);
        }
        for (std::int32_t i = 0; i < bands; ++i) {
            dsp.EqualizerBandGainDB(i, (*options.eqGains)[static_cast<std::size_t>(i)]);
        }
    }
}

}  // namespace quillon::cli
