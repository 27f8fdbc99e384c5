#include "ui/frmFXOpts.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "common/QuillonError.h"
#include "effects/clsDSP.h"
#include "ui/HandsFreePage.h"
#include "ui/Twips.h"
#include "visual/modDraw.h"

namespace quillon {

// Shows a Surface 1:1 inside a sunken frame of the Surface's border width.
class SurfaceView final : public QWidget {
public:
    SurfaceView(const Surface& surface, QWidget* parent) : QWidget(parent), surface_(surface)
    {
        setFixedSize(surface.OuterWidth(), surface.OuterHeight());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int b = surface_.Border();
        painter.fillRect(rect(), QColor(128, 128, 128));
        if (b > 0) {
            painter.fillRect(b / 2, b / 2, width() - b / 2, height() - b / 2, QColor(255, 255, 255));
        }
        painter.drawImage(b, b, surface_.Image());
    }

private:
    const Surface& surface_;
};

namespace {

// Layout sizes in twips.
constexpr int kEqPageWidth = 6225;
constexpr int kEqSliderWidth = 525;
constexpr int kEqSliderTop = 840;
constexpr int kEqSliderHeight = 1515;
constexpr int kEqLabelTop = 2325;
constexpr int kEqLabelHeight = 195;
constexpr int kEqAmpBorder = 2;

constexpr Colour kCurveBack = Rgb(24, 31, 44);
constexpr Colour kCurveGrid = Rgb(94, 88, 66);
constexpr Colour kCurveStart = Rgb(167, 158, 131);
constexpr Colour kCurveTop = Rgb(188, 34, 1);
constexpr Colour kCurveMiddle = Rgb(225, 168, 34);
constexpr Colour kCurveBottom = Rgb(0, 204, 0);

// Nearest integer, halves to even (the default rounding mode).
int RoundEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

// The laid-out label boxes are smaller than this font's text: a label keeps its anchor edge and
// vertical centre and grows to fit, leftwards for the labels that stand left of a slider.
void PlaceLabel(QLabel* label, const QRect& box, bool growLeft)
{
    const QSize hint = label->sizeHint();
    const int w = std::max(box.width(), hint.width());
    const int h = std::max(box.height(), hint.height());
    const int x = growLeft ? box.left() + box.width() - w : box.left();
    label->setGeometry(x, box.top() + (box.height() - h) / 2, w, h);
}

QSlider* MakeSlider(QWidget* page, Qt::Orientation orientation, int minimum, int maximum, QSlider::TickPosition ticks,
                    const QRect& geometry)
{
    auto* slider = new QSlider(orientation, page);
    slider->setRange(minimum, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(5);
    slider->setTickPosition(ticks);
    slider->setTickInterval(1);
    slider->setGeometry(geometry);
    return slider;
}

}  // namespace

QString BandLabel(int frequency)
{
    if (frequency <= 1000) {
        return QString::number(frequency) + QStringLiteral(" Hz");
    }
    return QString::number(frequency / 1000) + QStringLiteral(" kHz");
}

double CosineInterpolate(double a, double b, double t)
{
    const double m = (1.0 - std::cos(t * std::numbers::pi)) / 2.0;
    return (1.0 - m) * a + m * b;
}

frmFXOpts::frmFXOpts(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      picEQAmp_(TwipsToPixels(2715) - 2 * kEqAmpBorder, TwipsToPixels(345) - 2 * kEqAmpBorder, kEqAmpBorder)
{
    setWindowTitle(QCoreApplication::translate("Quillon", "特效设置"));
    setFixedSize(TwipsToPixels(6585), TwipsToPixels(3750));

    strip_ = new QTabWidget(this);
    strip_->setGeometry(TwipsRect(120, 120, 6405, 3540));
    picReverb_ = AddPage(QCoreApplication::translate("Quillon", "回响"), QStringLiteral("ECHO"));
    picShift_ = AddPage(QCoreApplication::translate("Quillon", "周相移动"), QStringLiteral("SHIFT"));
    picEQ_ = AddPage(QCoreApplication::translate("Quillon", "均衡器"), QStringLiteral("EQ"));
    picAmpl_ = AddPage(QCoreApplication::translate("Quillon", "放大器"), QStringLiteral("AMPL"));
    handsFree_ = new HandsFreePage;
    handsFree_->setProperty("key", QStringLiteral("AUTO"));
    strip_->addTab(handsFree_, QCoreApplication::translate("Quillon", "自动录音"));

    // Echo.
    auto* lblReverbLen = new QLabel(QCoreApplication::translate("Quillon", "长度 (毫秒):"), picReverb_);
    PlaceLabel(lblReverbLen, TwipsRect(780, 420, 870, 195), true);
    sldReverbLen_ = MakeSlider(picReverb_, Qt::Horizontal, 1, 1000, QSlider::NoTicks, TwipsRect(1770, 390, 3615, 405));
    lblReverbLen->setBuddy(sldReverbLen_);
    PlaceLabel(new QLabel(QStringLiteral("1 ms"), picReverb_), TwipsRect(1875, 765, 330, 195), false);
    PlaceLabel(new QLabel(QStringLiteral("1000 ms"), picReverb_), TwipsRect(4650, 765, 600, 195), false);
    auto* lblReverbFactor = new QLabel(QCoreApplication::translate("Quillon", "音效增强:"), picReverb_);
    PlaceLabel(lblReverbFactor, TwipsRect(780, 1185, 915, 195), true);
    sldReverbAmp_ = MakeSlider(picReverb_, Qt::Horizontal, 1, 9, QSlider::TicksBelow, TwipsRect(1770, 1170, 3615, 405));
    lblReverbFactor->setBuddy(sldReverbAmp_);

    // Phase shifter: one row per property, labels at the left, sliders beside them.
    const struct {
        const char* caption;
        int minimum;
        int maximum;
        QSlider** slider;
    } rows[] = {
        {"Dry:", -10, 10, &sldShDry_},
        {"Wet:", -10, 10, &sldShWet_},
        {QT_TRANSLATE_NOOP("Quillon", "回放:"), -9, 9, &sldShFb_},
        {QT_TRANSLATE_NOOP("Quillon", "扫描速度:"), 1, 15, &sldShSwpRate_},
        {QT_TRANSLATE_NOOP("Quillon", "扫描范围:"), 30, 60, &sldShSwpRange_},
        {QT_TRANSLATE_NOOP("Quillon", "频率:"), -10, 150, &sldShFreq_},
    };
    int top = 255;
    for (const auto& row : rows) {
        const QRect slider = TwipsRect(1530, top, 4125, 270);
        *row.slider = MakeSlider(picShift_, Qt::Horizontal, row.minimum, row.maximum, QSlider::NoTicks, slider);
        auto* caption = new QLabel(QCoreApplication::translate("Quillon", row.caption), picShift_);
        PlaceLabel(caption, QRect(TwipsToPixels(270), slider.top(), 0, slider.height()), false);
        caption->setBuddy(*row.slider);
        top += 315;
    }

    // Equalizer: the band sliders beyond the first are made once the band count is known.
    PlaceLabel(new QLabel(QStringLiteral("[-12;12] dB"), picEQ_), TwipsRect(450, 300, 690, 165), false);
    picEQAmpView_ = new SurfaceView(picEQAmp_, picEQ_);
    picEQAmpView_->move(TwipsToPixels(1935), TwipsToPixels(225));
    picEQAmpView_->setAccessibleName(QCoreApplication::translate("Quillon", "均衡器曲线"));
    picEQAmp_.OnChanged([view = picEQAmpView_] { view->update(); });
    auto* first = MakeSlider(picEQ_, Qt::Vertical, -12, 12, QSlider::TicksBothSides,
                             TwipsRect(0, kEqSliderTop, kEqSliderWidth, kEqSliderHeight));
    // Minimum at the top: pushing a slider up raises its band.
    first->setInvertedAppearance(true);
    first->setInvertedControls(true);
    sldEQ_.push_back(first);
    lblEQID_.push_back(new QLabel(picEQ_));
    // Each band slider is named by the frequency label below it.
    lblEQID_.back()->setBuddy(first);

    // Amplifier.
    auto* lblAmplBy = new QLabel(QCoreApplication::translate("Quillon", "增强:"), picAmpl_);
    PlaceLabel(lblAmplBy, TwipsRect(585, 525, 840, 240), true);
    sldAmplDB_ = MakeSlider(picAmpl_, Qt::Horizontal, -12, 12, QSlider::TicksBelow, TwipsRect(1560, 525, 3690, 390));
    lblAmplBy->setBuddy(sldAmplDB_);
    lblAmplDB_ = new QLabel(picAmpl_);
    lblAmplDB_->move(TwipsToPixels(5490), TwipsToPixels(525));

    // Slider responses run on the user's moves only; Load sets positions with signals blocked.
    connect(sldReverbLen_, &QSlider::valueChanged, this, [this](int v) {
        Apply(
            sldReverbLen_, [&] { dsp_->EchoLength(v); }, [&] { return dsp_->EchoLength(); });
    });
    connect(sldReverbAmp_, &QSlider::valueChanged, this, [this](int v) {
        Apply(
            sldReverbAmp_, [&] { dsp_->EchoAmp(static_cast<float>(v) / 10.0F); },
            [&] { return RoundEven(dsp_->EchoAmp() * 10.0); });
    });
    // Phase-shifter sliders: tenths of the property.
    using Set = std::function<void(clsDSP&, float)>;
    using Get = std::function<float(const clsDSP&)>;
    const auto tenths = [this](QSlider* slider, Set set, Get get) {
        connect(slider, &QSlider::valueChanged, this, [this, slider, set, get](int v) {
            const float value = static_cast<float>(v) / 10.0F;
            Apply(
                slider, [&] { set(*dsp_, value); }, [&] { return RoundEven(get(*dsp_) * 10.0); });
        });
    };
    tenths(
        sldShDry_, [](clsDSP& d, float x) { d.PhaseShiftDry(x); }, [](const clsDSP& d) { return d.PhaseShiftDry(); });
    tenths(
        sldShWet_, [](clsDSP& d, float x) { d.PhaseShiftWet(x); }, [](const clsDSP& d) { return d.PhaseShiftWet(); });
    tenths(
        sldShFb_, [](clsDSP& d, float x) { d.PhaseShiftFeedback(x); },
        [](const clsDSP& d) { return d.PhaseShiftFeedback(); });
    tenths(
        sldShSwpRate_, [](clsDSP& d, float x) { d.PhaseShiftSweepRate(x); },
        [](const clsDSP& d) { return d.PhaseShiftSweepRate(); });
    tenths(
        sldShSwpRange_, [](clsDSP& d, float x) { d.PhaseShiftSweepRange(x); },
        [](const clsDSP& d) { return d.PhaseShiftSweepRange(); });
    connect(sldShFreq_, &QSlider::valueChanged, this, [this](int v) {
        Apply(
            sldShFreq_, [&] { dsp_->PhaseShiftFrequency(static_cast<float>(v)); },
            [&] { return RoundEven(dsp_->PhaseShiftFrequency()); });
    });
    connect(sldAmplDB_, &QSlider::valueChanged, this, [this] { sldAmplDB_Scroll(); });
    connect(sldEQ_[0], &QSlider::valueChanged, this, [this] { sldEQ_Scroll(0); });
    sldEQ_[0]->installEventFilter(this);
}

frmFXOpts::~frmFXOpts() = default;

void frmFXOpts::LoadHandsFree(HandsFreeSettings& settings)
{
    handsFree_->Load(settings);
}

QWidget* frmFXOpts::AddPage(const QString& caption, const QString& key)
{
    auto* page = new QWidget;
    page->setProperty("key", key);
    strip_->addTab(page, caption);
    return page;
}

QString frmFXOpts::SelectedKey() const
{
    const QWidget* page = strip_->currentWidget();
    return page != nullptr ? page->property("key").toString() : QString();
}

void frmFXOpts::SelectKey(const QString& key)
{
    // Unknown keys change nothing.
    for (int i = 0; i < strip_->count(); ++i) {
        if (strip_->widget(i)->property("key").toString() == key) {
            strip_->setCurrentIndex(i);
        }
    }
}

template <typename Write, typename Read>
void frmFXOpts::Apply(QSlider* slider, Write write, Read read)
{
    if (dsp_ == nullptr) {
        return;
    }
    try {
        write();
    } catch (const QuillonError&) {
        // The chain keeps its value; so does the slider.
        const QSignalBlocker block(slider);
        slider->setValue(read());
    }
}

void frmFXOpts::sldAmplDB_Scroll()
{
    Apply(
        sldAmplDB_, [&] { dsp_->AmplifyDB(sldAmplDB_->value()); }, [&] { return dsp_->AmplifyDB(); });
    lblAmplDB_->setText(QString::number(sldAmplDB_->value()) + QStringLiteral(" dB"));
    lblAmplDB_->adjustSize();
}

void frmFXOpts::sldEQ_Scroll(int index)
{
    QSlider* slider = sldEQ_.at(static_cast<std::size_t>(index));
    Apply(
        slider, [&] { dsp_->EqualizerBandGainDB(index, static_cast<float>(-slider->value())); },
        [&] { return -RoundEven(dsp_->EqualizerBandGainDB(index)); });
    DrawEqualizerCurve();
}

bool frmFXOpts::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        const auto it = std::find(sldEQ_.begin(), sldEQ_.end(), watched);
        if (it != sldEQ_.end()) {
            // Back to 0 dB; setting the position runs the slider's response like a move would.
            (*it)->setValue(0);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFXOpts::Load(clsDSP& dsp)
{
    dsp_ = &dsp;
    eqPoints_.assign(static_cast<std::size_t>(std::max(dsp.EqualizerBands(), 0)), QPointF());

    {
        const QSignalBlocker b1(sldReverbAmp_);
        const QSignalBlocker b2(sldReverbLen_);
        const QSignalBlocker b3(sldShDry_);
        const QSignalBlocker b4(sldShWet_);
        const QSignalBlocker b5(sldShFb_);
        const QSignalBlocker b6(sldShFreq_);
        const QSignalBlocker b7(sldShSwpRange_);
        const QSignalBlocker b8(sldShSwpRate_);
        const QSignalBlocker b9(sldAmplDB_);
        sldReverbAmp_->setValue(RoundEven(dsp.EchoAmp() * 10.0));
        sldReverbLen_->setValue(dsp.EchoLength());
        sldShDry_->setValue(RoundEven(dsp.PhaseShiftDry() * 10.0));
        sldShWet_->setValue(RoundEven(dsp.PhaseShiftWet() * 10.0));
        sldShFb_->setValue(RoundEven(dsp.PhaseShiftFeedback() * 10.0));
        sldShFreq_->setValue(RoundEven(dsp.PhaseShiftFrequency()));
        sldShSwpRange_->setValue(RoundEven(dsp.PhaseShiftSweepRange() * 10.0));
        sldShSwpRate_->setValue(RoundEven(dsp.PhaseShiftSweepRate() * 10.0));
        sldAmplDB_->setValue(dsp.AmplifyDB());
    }
    sldAmplDB_Scroll();
    SetupEqualizerPage();
}

void frmFXOpts::ShowEx(clsDSP& dsp, QWidget* owner)
{
    if (owner != nullptr && owner != parentWidget()) {
        setParent(owner, windowFlags());
    }
    Load(dsp);
    setModal(true);
    exec();
}

void frmFXOpts::SetupEqualizerPage()
{
    const int n = dsp_->EqualizerBands();
    if (n <= 0) {
        return;
    }
    constexpr int p = kTwipsPerPixel;
    // Lefts in twips of the page, as floating point like the page's own coordinates.
    double left = static_cast<double>(kEqPageWidth) / n - kEqSliderWidth;
    const auto place = [](QWidget* w, double leftTwips, int topTwips, int widthTwips, int heightTwips) {
        w->setGeometry(RoundEven(leftTwips / p), TwipsToPixels(topTwips), TwipsToPixels(widthTwips),
                       TwipsToPixels(heightTwips));
    };
    place(sldEQ_[0], left, kEqSliderTop, kEqSliderWidth, kEqSliderHeight);
    if (sldEQ_.size() == 1) {
        for (int i = 1; i < n; ++i) {
            auto* slider = MakeSlider(picEQ_, Qt::Vertical, sldEQ_[0]->minimum(), sldEQ_[0]->maximum(),
                                      sldEQ_[0]->tickPosition(), sldEQ_[0]->geometry());
            slider->setInvertedAppearance(true);
            slider->setInvertedControls(true);
            slider->installEventFilter(this);
            connect(slider, &QSlider::valueChanged, this, [this, i] { sldEQ_Scroll(i); });
            sldEQ_.push_back(slider);
            lblEQID_.push_back(new QLabel(picEQ_));
            lblEQID_.back()->setBuddy(slider);
            slider->show();
            lblEQID_.back()->show();
        }
    }
    for (std::size_t i = 1; i < sldEQ_.size(); ++i) {
        left += kEqSliderWidth + 20 * p;
        place(sldEQ_[i], left, kEqSliderTop, kEqSliderWidth, kEqSliderHeight);
    }
    const int bands = std::min(n, EqSliderCount());
    for (int i = 0; i < bands; ++i) {
        QSlider* slider = sldEQ_[static_cast<std::size_t>(i)];
        QLabel* label = lblEQID_[static_cast<std::size_t>(i)];
        {
            const QSignalBlocker block(slider);
            slider->setValue(-RoundEven(dsp_->EqualizerBandGainDB(i)));
        }
        label->setText(BandLabel(dsp_->EqualizerBandFrequency(i)));
        PlaceLabel(label, QRect(slider->x() + 15, TwipsToPixels(kEqLabelTop), 0, TwipsToPixels(kEqLabelHeight)), false);
    }
    DrawEqualizerCurve();
}

void frmFXOpts::DrawEqualizerCurve()
{
    Surface& pic = picEQAmp_;
    pic.Cls();
    const int h = pic.ScaleHeight();
    const int w = pic.ScaleWidth();
    pic.BackColor(kCurveBack);

    const int n = std::min(dsp_ != nullptr ? dsp_->EqualizerBands() : 0, EqSliderCount());
    const int m = sldEQ_[0]->maximum();
    if (n <= 0 || m == 0) {
        pic.Cls();
        return;
    }
    const int step = RoundEven(static_cast<double>(w - 10) / n);
    if (step <= 0) {
        // A strip too narrow for the bands: nothing to draw, and no division by a zero step.
        pic.Cls();
        return;
    }
    eqPoints_.assign(static_cast<std::size_t>(n), QPointF());
    for (int i = 1; i <= n; ++i) {
        const double v = sldEQ_[static_cast<std::size_t>(i - 1)]->value();
        eqPoints_[static_cast<std::size_t>(i - 1)] = QPointF(i * step - 4, v / m * (h / 2.0) + h / 2.0);
    }
    const auto pt = [this](int i) { return eqPoints_[static_cast<std::size_t>(i - 1)]; };

    pic.Cls();
    pic.ForeColor(kCurveGrid);
    for (int i = 1; i <= n; ++i) {
        const int x = RoundEven(pt(i).x());
        pic.MoveToEx(x, 2);
        pic.LineTo(x, h - 2);
    }

    pic.ForeColor(kCurveStart);
    pic.PSet(RoundEven(pt(1).x()), RoundEven(pt(1).y()));

    for (int i = 1; i <= n - 1; ++i) {
        for (int j = 0; j <= 5 * step; ++j) {
            const double t = static_cast<double>(j) / 5.0 / step;
            const double y = CosineInterpolate(pt(i).y(), pt(i + 1).y(), t);
            const int yy = RoundEven(y - 0.5);
            pic.ForeColor(modDraw::GradientColor(static_cast<float>(h), static_cast<float>(yy), kCurveTop, kCurveMiddle,
                                                 kCurveBottom));
            pic.LineTo(RoundEven(pt(i).x() + j / 5.0), yy);
        }
    }
}

}  // namespace quillon
