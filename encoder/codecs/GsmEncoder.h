#pragma once

#include <memory>

#include "encoder/codecs/BlockEncoder.h"

struct gsm_state;

namespace quillon {

// GSM 6.10 (tag 0x31) through libgsm, in the WAV packing: two 160-sample frames share one
// 65-byte block. 8000 Hz mono only.
class GsmEncoder final : public BlockEncoder {
public:
    static constexpr std::uint32_t kRate = 8000;
    static constexpr std::size_t kFramesPerBlock = 320;
    static constexpr std::size_t kBlockAlign = 65;

    GsmEncoder();

    [[nodiscard]] int channels() const override { return 1; }
    [[nodiscard]] std::size_t framesPerBlock() const override { return kFramesPerBlock; }
    [[nodiscard]] std::size_t bytesPerBlock() const override { return kBlockAlign; }
    void reset() override;
    [[nodiscard]] std::vector<std::uint8_t> format() const override;

private:
    void encodeBlock(const std::int16_t* in, std::uint8_t* out) override;

    struct Deleter {
        void operator()(gsm_state* state) const;
    };
    std::unique_ptr<gsm_state, Deleter> state_;
};

std::vector<std::uint8_t> MakeGsm610Format();

}  // namespace quillon
