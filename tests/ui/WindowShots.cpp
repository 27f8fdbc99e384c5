// Renders every window of the program into PNG files, for looking at them:
//   quillon-window-shots OUTDIR
// Run it on a real display (Xvfb will do); scripts/screenshot-windows.sh does that.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "common/WaveFormat.h"
#include "effects/clsDSP.h"
#include "recording/Language.h"
#include "recording/ProgramFolder.h"
#include "recording/RealPorts.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WavBuilder.h"
#include "ui/About.h"
#include "ui/Form1.h"
#include "ui/FormatChooserDialog.h"
#include "ui/FrmST.h"
#include "ui/frmFXOpts.h"

namespace {

QString outDir;

void Settle()
{
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

// Texts without their access-key marks, as drawn.
QString Shown(QString text)
{
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// Says which one-line texts do not fit their control at this scale (QT_SCALE_FACTOR);
// fonts are measured as drawn, on the screen's device pixels.
bool Unclipped(const QWidget& window, const QString& name)
{
    bool fits = true;
    const auto report = [&](const QWidget* w, const QString& text, int needed) {
        std::printf("CLIPPED in %s: %s \"%s\" needs %d px, has %d\n", qPrintable(name), qPrintable(w->objectName()),
                    qPrintable(text), needed, w->width());
        fits = false;
    };
    for (const auto* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->wordWrap() || label->text().isEmpty() ||
            label->textFormat() == Qt::RichText) {
            continue;
        }
        const int room = label->contentsRect().width() - 2 * label->margin();
        const int needed = label->fontMetrics().horizontalAdvance(Shown(label->text()));
        if (needed > room) {
            report(label, label->text(), needed);
        }
    }
    for (const auto* button : window.findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty()) {
            continue;
        }
        int needed = button->fontMetrics().horizontalAdvance(Shown(button->text()));
        if (qobject_cast<const QCheckBox*>(button) != nullptr) {
            needed += button->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button) +
                      button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
        } else if (qobject_cast<const QPushButton*>(button) != nullptr) {
            needed += 2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        }
        if (needed > button->width()) {
            report(button, button->text(), needed);
        }
    }
    return fits;
}

bool Shoot(QWidget& widget, const QString& name)
{
    Settle();
    const bool fits = Unclipped(widget, name);
    const QString file = QDir(outDir).filePath(name + QStringLiteral(".png"));
    const bool saved = widget.grab().save(file);
    std::printf("%s %s (%dx%d, device pixel ratio %.2g)\n", saved ? "wrote" : "FAILED", qPrintable(file),
                widget.width(), widget.height(), widget.devicePixelRatioF());
    return saved && fits;
}

// One second of silence, 44100 Hz stereo 16-bit, for the player to load.
void WriteSilence(const QString& path)
{
    using namespace quillon::test;
    writeFile(path.toStdString(), wavBytes({.fmtSize = 16, .audio = Bytes(44100 * 4, 0)}));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    quillon::InstallTranslation(app);  // the shots in English with LANG=en_US.UTF-8
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("file"));
    const auto folder = quillon::ChooseProgramFolder(home.path(), home.path());
    quillon::ProgramFolder(folder);
    bool ok = true;

    quillon::Form1 form(std::make_unique<quillon::RealPorts>(), folder.path);
    form.Form_Load();
    ok &= Shoot(form, QStringLiteral("main-window"));

    quillon::clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(2);
    // A few bands off 0 dB, so the curve has something to show.
    dsp.EqualizerBandGainDB(1, 6.0F);
    dsp.EqualizerBandGainDB(3, 12.0F);
    dsp.EqualizerBandGainDB(5, -8.0F);
    {
        quillon::frmFXOpts fx(&form);
        fx.Load(dsp);
        fx.show();
        for (const char* key : {"ECHO", "SHIFT", "EQ", "AMPL"}) {
            fx.SelectKey(QString::fromLatin1(key));
            ok &= Shoot(fx, QStringLiteral("effects-") + QString::fromLatin1(key).toLower());
        }
    }

    {
        const auto source = quillon::MakePCMFormat(44100, 2, 16).bytes();
        quillon::FormatChooserDialog chooser(quillon::ReachableFormats(source), source, &form,
                                             QStringLiteral("选择声音输出格式"));
        chooser.show();
        ok &= Shoot(chooser, QStringLiteral("format-chooser"));
    }

    {
        const QString take = QDir(home.path()).filePath(QStringLiteral("file/录音1.wav"));
        WriteSilence(take);
        QPointer<quillon::FrmST> st;
        quillon::ShowListenBack(&form, st, [take] { return QString(take); });
        ok &= Shoot(*st, QStringLiteral("listen-back"));
        st->close();
    }

    {
        auto* about = new quillon::About(folder.path, &form);
        about->show();
        ok &= Shoot(*about, QStringLiteral("about"));
        about->close();
    }

    form.close();
    Settle();
    return ok ? 0 : 1;
}
