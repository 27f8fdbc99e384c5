#include "recording/DisplayFormat.h"

#include <cmath>
#include <cstdlib>

#include <QLocale>

namespace quillon {
namespace {

constexpr double kKB = 1024.0;
constexpr double kMB = 1048576.0;
constexpr double kGB = 1073741824.0;

// Decimal places of a "###0.00"-style pattern.
int decimalsOf(const QString& pattern)
{
    const auto dot = pattern.indexOf(QLatin1Char('.'));
    return dot < 0 ? 0 : static_cast<int>(pattern.size() - dot - 1);
}

QString scaled(double value, const QString& format, const QString& fallback, const char* unit)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const QString& pattern = format.isEmpty() ? fallback : format;
    return locale.toString(value, 'f', decimalsOf(pattern)) + QLatin1String(unit);
}

}  // namespace

QString FormatSize(double size, const QString& format)
{
    if (size >= 0 && size <= 1023) {
        return QString::number(size, 'g', 16) + QStringLiteral(" bytes");
    }
    if (size >= kKB && size <= kMB - 1) {
        return scaled(size / kKB, format, QStringLiteral("###0"), " KB");
    }
    if (size >= kMB && size <= kGB - 1) {
        return scaled(size / kMB, format, QStringLiteral("###0.0"), " MB");
    }
    if (size > kGB - 1) {
        return scaled(size / kGB, format, QStringLiteral("###0.0"), " GB");
    }
    return {};
}

std::int64_t ShownSeconds(std::int32_t milliseconds)
{
    // nearbyint rounds halves to even in the default rounding mode.
    return static_cast<std::int64_t>(std::nearbyint(milliseconds / 1000.0));
}

QString FormatTime(std::int32_t milliseconds)
{
    const std::int64_t seconds = ShownSeconds(milliseconds);
    return QString::number(seconds / 60) + QLatin1Char(':') +
           QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::int32_t PeakLevel(std::span<const std::int16_t> samples, std::size_t first, std::size_t stride)
{
    std::int32_t peak = 0;
    if (stride == 0) {
        stride = 1;
    }
    for (std::size_t i = first; i < samples.size(); i += stride) {
        const std::int32_t level = std::abs(static_cast<std::int32_t>(samples[i]));
        if (level > peak) {
            peak = level;
        }
    }
    return peak;
}

}  // namespace quillon
