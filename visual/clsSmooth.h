#pragma once

#include <cstdint>
#include <vector>

namespace quillon {

// Moving average over the last `size` values, steadying the level meters.
class clsSmooth {
public:
    clsSmooth() { SmoothNew(1); }

    // Window length; values below 1 count as 1. Empties the ring.
    void SmoothNew(std::int32_t size);
    void SmoothAdd(float sample);
    // Mean of the values held (not a maximum, despite the name); 0 while empty.
    [[nodiscard]] float SmoothGetMax() const;

private:
    std::vector<float> ring_;
    std::int32_t position_ = 0;
    std::int32_t count_ = 0;
    std::int32_t size_ = 1;
};

}  // namespace quillon
