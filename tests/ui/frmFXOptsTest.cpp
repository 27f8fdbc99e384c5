#include "ui/frmFXOpts.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <numbers>

#include "effects/clsDSP.h"
#include "visual/Surface.h"

namespace quillon {
namespace {

constexpr Colour kBack = Rgb(24, 31, 44);

int Red(Colour c)
{
    return static_cast<int>(c & 255U);
}
int Green(Colour c)
{
    return static_cast<int>((c >> 8U) & 255U);
}
int Blue(Colour c)
{
    return static_cast<int>((c >> 16U) & 255U);
}
// Largest component difference.
int Distance(Colour a, Colour b)
{
    return std::max({std::abs(Red(a) - Red(b)), std::abs(Green(a) - Green(b)), std::abs(Blue(a) - Blue(b))});
}

struct FxWindow : ::testing::Test {
    FxWindow()
    {
        dsp.samplerate(44100);
        dsp.Channels(2);
        window.Load(dsp);
    }
    clsDSP dsp;
    frmFXOpts window;
};

TEST_F(FxWindow, opensWithTheChainDefaults)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("特效设置"));
    EXPECT_EQ(window.sldReverbAmp()->value(), 4);
    EXPECT_EQ(window.sldReverbLen()->value(), 100);
    EXPECT_EQ(window.sldShDry()->value(), 10);
    EXPECT_EQ(window.sldShWet()->value(), 10);
    EXPECT_EQ(window.sldShFb()->value(), 5);
    EXPECT_EQ(window.sldShFreq()->value(), 100);
    EXPECT_EQ(window.sldShSwpRange()->value(), 40);
    EXPECT_EQ(window.sldShSwpRate()->value(), 10);
    EXPECT_EQ(window.sldAmplDB()->value(), 3);
    EXPECT_EQ(window.lblAmplDB()->text(), QStringLiteral("3 dB"));
    // Loading writes nothing back but the amplifier (which it re-sends unchanged).
    EXPECT_FLOAT_EQ(dsp.EchoAmp(), 0.4F);
    EXPECT_EQ(dsp.AmplifyDB(), 3);

    ASSERT_EQ(window.EqSliderCount(), 7);
    const char* labels[] = {"80 Hz", "191 Hz", "455 Hz", "1 kHz", "2 kHz", "6 kHz", "14 kHz"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(window.sldEQ(i)->value(), 0) << i;
        EXPECT_EQ(window.lblEQID(i)->text(), QString::fromUtf8(labels[i])) << i;
    }
}

TEST_F(FxWindow, hasTheTabsInOrderWithTheirKeys_echoFirst)
{
    const QStringList captions = {QStringLiteral("回响"), QStringLiteral("周相移动"), QStringLiteral("均衡器"),
                                  QStringLiteral("放大器"), QStringLiteral("自动录音")};
    const QStringList keys = {QStringLiteral("ECHO"), QStringLiteral("SHIFT"), QStringLiteral("EQ"),
                              QStringLiteral("AMPL"), QStringLiteral("AUTO")};
    ASSERT_EQ(window.strip()->count(), 5);
    EXPECT_EQ(window.SelectedKey(), QStringLiteral("ECHO"));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(window.strip()->tabText(i), captions[i]);
        window.SelectKey(keys[i]);
        EXPECT_EQ(window.strip()->currentIndex(), i);
        EXPECT_EQ(window.SelectedKey(), keys[i]);
    }
    window.SelectKey(QStringLiteral("NONE"));
    EXPECT_EQ(window.SelectedKey(), QStringLiteral("AUTO"));
}

TEST_F(FxWindow, slidersHaveTheirRangesStepsAndTicks)
{
    const struct {
        QSlider* slider;
        int minimum;
        int maximum;
        QSlider::TickPosition ticks;
        Qt::Orientation orientation;
    } rows[] = {
        {window.sldReverbLen(), 1, 1000, QSlider::NoTicks, Qt::Horizontal},
        {window.sldReverbAmp(), 1, 9, QSlider::TicksBelow, Qt::Horizontal},
        {window.sldShDry(), -10, 10, QSlider::NoTicks, Qt::Horizontal},
        {window.sldShWet(), -10, 10, QSlider::NoTicks, Qt::Horizontal},
        {window.sldShFb(), -9, 9, QSlider::NoTicks, Qt::Horizontal},
        {window.sldShSwpRate(), 1, 15, QSlider::NoTicks, Qt::Horizontal},
        {window.sldShSwpRange(), 30, 60, QSlider::NoTicks, Qt::Horizontal},
        {window.sldShFreq(), -10, 150, QSlider::NoTicks, Qt::Horizontal},
        {window.sldAmplDB(), -12, 12, QSlider::TicksBelow, Qt::Horizontal},
        {window.sldEQ(0), -12, 12, QSlider::TicksBothSides, Qt::Vertical},
        {window.sldEQ(6), -12, 12, QSlider::TicksBothSides, Qt::Vertical},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.minimum * 1000 + row.maximum);
        EXPECT_EQ(row.slider->minimum(), row.minimum);
        EXPECT_EQ(row.slider->maximum(), row.maximum);
        EXPECT_EQ(row.slider->singleStep(), 1);
        EXPECT_EQ(row.slider->pageStep(), 5);
        EXPECT_EQ(row.slider->tickPosition(), row.ticks);
        EXPECT_EQ(row.slider->orientation(), row.orientation);
    }
    // Minimum at the top of the band sliders.
    EXPECT_TRUE(window.sldEQ(3)->invertedAppearance());
}

TEST_F(FxWindow, geometryFollowsTheTwipsLayout)
{
    EXPECT_EQ(window.size(), QSize(439, 250));
    EXPECT_EQ(window.strip()->geometry(), QRect(8, 8, 427, 236));
    EXPECT_EQ(window.sldReverbLen()->geometry(), QRect(118, 26, 241, 27));
    EXPECT_EQ(window.sldAmplDB()->geometry(), QRect(104, 35, 246, 26));
    // Band sliders: the first at 6225 / 7 - 525 twips, then every 525 + 300 twips.
    EXPECT_EQ(window.sldEQ(0)->geometry(), QRect(24, 56, 35, 101));
    EXPECT_EQ(window.sldEQ(6)->x(), 354);
    EXPECT_EQ(window.lblEQID(6)->x(), 354 + 15);
    EXPECT_EQ(window.picEQAmp().OuterWidth(), 181);
    EXPECT_EQ(window.picEQAmp().OuterHeight(), 23);
}

TEST_F(FxWindow, everySliderWritesItsChainPropertyAtOnce)
{
    window.sldReverbLen()->setValue(250);
    EXPECT_EQ(dsp.EchoLength(), 250);
    window.sldReverbAmp()->setValue(9);
    EXPECT_FLOAT_EQ(dsp.EchoAmp(), 0.9F);
    window.sldReverbAmp()->setValue(1);
    EXPECT_FLOAT_EQ(dsp.EchoAmp(), 0.1F);
    window.sldShDry()->setValue(-7);
    EXPECT_FLOAT_EQ(dsp.PhaseShiftDry(), -0.7F);
    window.sldShWet()->setValue(3);
    EXPECT_FLOAT_EQ(dsp.PhaseShiftWet(), 0.3F);
    window.sldShFb()->setValue(-9);
    EXPECT_FLOAT_EQ(dsp.PhaseShiftFeedback(), -0.9F);
    window.sldShSwpRate()->setValue(15);
    EXPECT_FLOAT_EQ(dsp.PhaseShiftSweepRate(), 1.5F);
    window.sldShSwpRange()->setValue(60);
    EXPECT_FLOAT_EQ(dsp.PhaseShiftSweepRange(), 6.0F);
    window.sldShFreq()->setValue(150);
    EXPECT_FLOAT_EQ(dsp.PhaseShiftFrequency(), 150.0F);
    window.sldAmplDB()->setValue(-12);
    EXPECT_EQ(dsp.AmplifyDB(), -12);
    EXPECT_EQ(window.lblAmplDB()->text(), QStringLiteral("-12 dB"));
    for (int i = 0; i < 7; ++i) {
        window.sldEQ(i)->setValue(i - 3);
        EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(i), static_cast<float>(3 - i)) << i;
    }
}

TEST_F(FxWindow, phaseFrequencyAtZeroOrBelowKeepsTheChainRunning)
{
    dsp.EffectsUsed(clsDSP::kPhaseShift);
    for (const int value : {0, -10}) {
        window.sldShFreq()->setValue(value);
        std::vector<int16_t> block(2048);
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<int16_t>(8000.0 * std::sin(0.05 * static_cast<double>(i)));
        }
        dsp.ProcessSamples(block);
        // A sweep that collapsed to nothing would give silence; the shifted sound is still there.
        EXPECT_TRUE(std::any_of(block.begin(), block.end(), [](int16_t s) { return std::abs(s) > 1000; })) << value;
    }
}

TEST_F(FxWindow, bandSliderAtTheTopBoostsItsBandAndPeaksTheCurveAtTheTop)
{
    window.sldEQ(3)->setValue(-12);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(3), 12.0F);

    const Surface& pic = window.picEQAmp();
    const auto& points = window.eqPoints();
    ASSERT_EQ(points.size(), 7U);
    EXPECT_DOUBLE_EQ(points[3].y(), 0.0);
    const int x4 = static_cast<int>(points[3].x());
    // The top row is reached around the fourth point only (the curve is flat there), in the top colour.
    EXPECT_LE(Distance(pic.Point(x4, 0), Rgb(188, 34, 1)), 2);
    for (int x = 0; x < pic.ScaleWidth(); ++x) {
        if (x <= points[2].x() || x >= points[4].x()) {
            EXPECT_EQ(pic.Point(x, 0), kBack) << x;
        }
    }
}

TEST_F(FxWindow, rightButtonReleaseResetsABand_otherButtonsDoNot)
{
    QSlider* band = window.sldEQ(2);
    band->setValue(-8);
    ASSERT_FLOAT_EQ(dsp.EqualizerBandGainDB(2), 8.0F);

    QTest::mouseRelease(band, Qt::LeftButton, {}, band->rect().center());
    QTest::mouseRelease(band, Qt::MiddleButton, {}, band->rect().center());
    EXPECT_EQ(band->value(), -8);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(2), 8.0F);

    QTest::mouseRelease(band, Qt::RightButton, {}, band->rect().center());
    EXPECT_EQ(band->value(), 0);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(2), 0.0F);
    EXPECT_DOUBLE_EQ(window.eqPoints()[2].y(), window.picEQAmp().ScaleHeight() / 2.0);
}

TEST_F(FxWindow, flatCurveLiesOnTheMiddleRowInTheMiddleColour)
{
    const Surface& pic = window.picEQAmp();
    const int h = pic.ScaleHeight();
    // Every band at h / 2; y - 0.5 rounded gives the row just above the exact middle.
    const int row = static_cast<int>(std::nearbyint(h / 2.0 - 0.5));
    const auto& points = window.eqPoints();
    const int first = static_cast<int>(points.front().x());
    const int last = static_cast<int>(points.back().x());
    for (int x = first; x < last; ++x) {
        EXPECT_LE(Distance(pic.Point(x, row), Rgb(225, 168, 34)), 8) << x;
        // Nothing of the curve above or below it (only the grid's vertical lines cross there).
        for (const int other : {row - 2, row + 2}) {
            const Colour c = pic.Point(x, other);
            EXPECT_TRUE(c == kBack || c == Rgb(94, 88, 66)) << x << "," << other;
        }
    }
}

TEST_F(FxWindow, closingKeepsTheValues_andTheNextWindowShowsThem)
{
    {
        frmFXOpts first;
        first.Load(dsp);
        first.sldReverbLen()->setValue(700);
        first.sldShFb()->setValue(-3);
        first.sldAmplDB()->setValue(9);
        first.sldEQ(5)->setValue(6);
    }
    frmFXOpts second;
    second.Load(dsp);
    EXPECT_EQ(second.sldReverbLen()->value(), 700);
    EXPECT_EQ(second.sldShFb()->value(), -3);
    EXPECT_EQ(second.sldAmplDB()->value(), 9);
    EXPECT_EQ(second.lblAmplDB()->text(), QStringLiteral("9 dB"));
    EXPECT_EQ(second.sldEQ(5)->value(), 6);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(5), -6.0F);
}

TEST(frmFXOptsShowEx, showsModallyOverTheOwnerAndReturnsWhenClosed)
{
    clsDSP dsp;
    dsp.samplerate(8000);
    dsp.Channels(1);
    QWidget owner;
    frmFXOpts window(&owner);
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        wasModal = window.isModal() && window.isVisible() && window.parentWidget() == &owner;
        window.close();
    });
    window.ShowEx(dsp, &owner);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(window.isVisible());
}

TEST(BandLabel, showsHzUpTo1000AndWholeKHzAbove)
{
    EXPECT_EQ(BandLabel(80), QStringLiteral("80 Hz"));
    EXPECT_EQ(BandLabel(1000), QStringLiteral("1000 Hz"));
    EXPECT_EQ(BandLabel(1001), QStringLiteral("1 kHz"));
    EXPECT_EQ(BandLabel(1084), QStringLiteral("1 kHz"));
    EXPECT_EQ(BandLabel(14700), QStringLiteral("14 kHz"));
    EXPECT_EQ(BandLabel(0), QStringLiteral("0 Hz"));
}

TEST(CosineInterpolate, meetsBothEndsFlatAndCrossesHalfWayAtTheMiddle)
{
    EXPECT_DOUBLE_EQ(CosineInterpolate(2.0, 10.0, 0.0), 2.0);
    EXPECT_DOUBLE_EQ(CosineInterpolate(2.0, 10.0, 1.0), 10.0);
    EXPECT_NEAR(CosineInterpolate(2.0, 10.0, 0.5), 6.0, 1e-12);
    // Reference: a + (b - a) * sin^2(pi t / 2), the same curve written another way.
    for (double t = 0.0; t <= 1.0; t += 0.125) {
        const double s = std::sin(std::numbers::pi * t / 2.0);
        EXPECT_NEAR(CosineInterpolate(-3.0, 5.0, t), -3.0 + 8.0 * s * s, 1e-12) << t;
    }
    // Flat ends: a small step from either end moves the value far less than linearly.
    EXPECT_LT(CosineInterpolate(0.0, 1.0, 0.01), 0.001);
    EXPECT_GT(CosineInterpolate(0.0, 1.0, 0.99), 0.999);
}

}  // namespace
}  // namespace quillon
