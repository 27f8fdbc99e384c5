#include "visual/clsSmooth.h"

#include <algorithm>

namespace quillon {

void clsSmooth::SmoothNew(std::int32_t size)
{
    size_ = std::max<std::int32_t>(size, 1);
    ring_.assign(static_cast<std::size_t>(size_), 0.0F);
    position_ = 0;
    count_ = 0;
}

void clsSmooth::SmoothAdd(float sample)
{
    ring_[static_cast<std::size_t>(position_)] = sample;
    ++position_;
    if (position_ > count_) {
        ++count_;
    }
    if (position_ >= size_) {
        position_ %= size_;
    }
}

float clsSmooth::SmoothGetMax() const
{
    if (count_ == 0) {
        return 0.0F;
    }
    float sum = 0.0F;
    for (std::int32_t i = 0; i < count_; ++i) {
        sum += ring_[static_cast<std::size_t>(i)];
    }
    return sum / static_cast<float>(count_);
}

}  // namespace quillon
