#pragma once

#include <cstdint>
#include <span>

#include <QString>

namespace quillon {

// Size with its unit: "1023 bytes", "1 KB", "1.0 MB", "1.0 GB". `format` is a
// number pattern such as "###0.0" (empty: "###0" for KB, "###0.0" above).
// Empty text for negative sizes and fractions that fall between the ranges.
QString FormatSize(double size, const QString& format = {});

// The whole seconds FormatTime shows for a time: rounded half to even.
std::int64_t ShownSeconds(std::int32_t milliseconds);
// Minutes and seconds, "m:ss"; seconds rounded half to even, no hours field.
QString FormatTime(std::int32_t milliseconds);

// Largest absolute sample at first, first + stride, ...; 0 when first is past
// the end. -32768 gives 32768.
std::int32_t PeakLevel(std::span<const std::int16_t> samples, std::size_t first, std::size_t stride);

}  // namespace quillon
