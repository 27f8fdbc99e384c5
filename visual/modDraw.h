#pragma once

#include "visual/Surface.h"

namespace quillon::modDraw {

// Colour at pos on a three-colour gradient of length total: color1 at 0, color2
// at total/2, color3 at total. Beyond the ends it extrapolates, each component
// held within 0..255.
[[nodiscard]] Colour GradientColor(float total, float pos, Colour color1, Colour color2, Colour color3);

// Clears the meter and draws a bar from its left edge, level (0..1) of its outer
// width long, green at 0 through amber to red at 1.
void DrawLevelMeter(Surface& surface, float level);

}  // namespace quillon::modDraw
