#include "visual/modDraw.h"

#include <cstdint>

#include "visual/Rounding.h"
#include "visual/clsDraw.h"

namespace quillon::modDraw {

namespace {

using visual_detail::roundHalfEven;

std::uint32_t component(float value)
{
    // Also catches NaN, which fails both comparisons.
    if (!(value >= 0.0F)) {
        return 0;
    }
    if (value > 255.0F) {
        return 255;
    }
    return static_cast<std::uint32_t>(roundHalfEven(value));
}

}  // namespace

Colour GradientColor(float total, float pos, Colour color1, Colour color2, Colour color3)
{
    const float half = total / 2.0F;
    Colour from = color2;
    Colour to = color3;
    float t = pos - half;
    if (pos < half) {
        from = color1;
        to = color2;
        t = pos;
    }
    auto mix = [t, half](Colour a, Colour b, unsigned shift) {
        const auto ca = static_cast<float>((a >> shift) & 255U);
        const auto cb = static_cast<float>((b >> shift) & 255U);
        // A gradient of no length has no position along it: stay on the start colour.
        if (half == 0.0F) {
            return component(ca);
        }
        return component(ca + (cb - ca) * t / half);
    };
    return Rgb(mix(from, to, 0), mix(from, to, 8), mix(from, to, 16));
}

void DrawLevelMeter(Surface& surface, float level)
{
    const Colour colour = GradientColor(1.0F, level, 0x00FF00U, 0x22A8E1U, 0x0000FFU);
    surface.Cls();
    clsDraw::DrawRect(surface, 0, 0, roundHalfEven(static_cast<double>(surface.OuterWidth()) * level),
                      roundHalfEven(surface.OuterHeight()), colour);
}

}  // namespace quillon::modDraw
