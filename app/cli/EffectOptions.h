#pragma once

// The effect and output-format options that `process` and `record` share.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillon {
class clsDSP;
}

namespace quillon::cli {

struct EffectOptions {
    std::int32_t effects = 0;  // EffectsUsed bits
    std::optional<std::int32_t> ampDb;
    std::optional<std::int32_t> echoLength;
    std::map<std::string, float> reals;  // option name -> value, for the float parameters
    std::optional<std::vector<float>> eqGains;
    std::optional<std::string> format;
};

// The options' lines for --help.
extern const char* const kEffectOptionsUsage;

// True for --effects, --amp-db, ..., --format.
bool isEffectOption(const std::string& name);

// Stores the value of one of those options; the one-line complaint when it is bad.
std::optional<std::string> takeEffectOption(const std::string& name, const std::string& value, EffectOptions& options);

// Switches the effects on and sets their parameters (not the rate or channels); the
// chain's own range checks throw QuillonError.
void configureEffects(clsDSP& dsp, const EffectOptions& options);

}  // namespace quillon::cli
