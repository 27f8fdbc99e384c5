#pragma once

#include <QDialog>
#include <QPointF>
#include <QString>
#include <memory>
#include <vector>

#include "visual/Surface.h"

class QLabel;
class QSlider;
class QTabWidget;

namespace quillon {

class clsDSP;
class HandsFreePage;
struct HandsFreeSettings;
class SurfaceView;

// "Ticks" of a band label: up to 1000 Hz in Hz, above it in whole kHz (1084 -> "1 kHz").
QString BandLabel(int frequency);

// (1 - m) * a + m * b with m = (1 - cos(t * pi)) / 2: flat at both ends, so the equalizer
// curve passes every band point level.
double CosineInterpolate(double a, double b, double t);

// Effects settings: one slider per effect parameter, written into the chain the moment it
// moves, so the next captured block already uses it. Closing keeps every value in the chain.
class frmFXOpts final : public QDialog {
public:
    explicit frmFXOpts(QWidget* owner = nullptr);
    ~frmFXOpts() override;
    frmFXOpts(const frmFXOpts&) = delete;
    frmFXOpts& operator=(const frmFXOpts&) = delete;

    // Loads every control from `dsp`, then shows the window modally over `owner` and returns
    // when it closes. Recording goes on meanwhile: the chain is only ever touched on this thread.
    void ShowEx(clsDSP& dsp, QWidget* owner);
    // The loading part of ShowEx without showing (for a window shown some other way).
    void Load(clsDSP& dsp);

    // The "自动录音" page shows and edits `settings` from now on.
    void LoadHandsFree(HandsFreeSettings& settings);
    [[nodiscard]] HandsFreePage* handsFree() const { return handsFree_; }

    // The key ("ECHO", "SHIFT", "EQ", "AMPL", "AUTO") of the selected tab.
    [[nodiscard]] QString SelectedKey() const;
    void SelectKey(const QString& key);

    [[nodiscard]] QTabWidget* strip() const { return strip_; }
    [[nodiscard]] QSlider* sldReverbLen() const { return sldReverbLen_; }
    [[nodiscard]] QSlider* sldReverbAmp() const { return sldReverbAmp_; }
    [[nodiscard]] QSlider* sldShDry() const { return sldShDry_; }
    [[nodiscard]] QSlider* sldShWet() const { return sldShWet_; }
    [[nodiscard]] QSlider* sldShFb() const { return sldShFb_; }
    [[nodiscard]] QSlider* sldShSwpRate() const { return sldShSwpRate_; }
    [[nodiscard]] QSlider* sldShSwpRange() const { return sldShSwpRange_; }
    [[nodiscard]] QSlider* sldShFreq() const { return sldShFreq_; }
    [[nodiscard]] QSlider* sldAmplDB() const { return sldAmplDB_; }
    [[nodiscard]] QLabel* lblAmplDB() const { return lblAmplDB_; }
    [[nodiscard]] QSlider* sldEQ(int index) const { return sldEQ_.at(static_cast<std::size_t>(index)); }
    [[nodiscard]] QLabel* lblEQID(int index) const { return lblEQID_.at(static_cast<std::size_t>(index)); }
    [[nodiscard]] int EqSliderCount() const { return static_cast<int>(sldEQ_.size()); }
    // The curve strip picEQAmp and the band points of its last drawing (index 0 is band 0).
    [[nodiscard]] const Surface& picEQAmp() const { return picEQAmp_; }
    [[nodiscard]] const std::vector<QPointF>& eqPoints() const { return eqPoints_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* AddPage(const QString& caption, const QString& key);
    void SetupEqualizerPage();
    void DrawEqualizerCurve();
    void sldEQ_Scroll(int index);
    void sldAmplDB_Scroll();
    // Runs `write`; a value the chain refuses puts the slider back to what `read` gives.
    template <typename Write, typename Read>
    void Apply(QSlider* slider, Write write, Read read);

    clsDSP* dsp_ = nullptr;
    QTabWidget* strip_ = nullptr;
    QWidget* picReverb_ = nullptr;
    QWidget* picShift_ = nullptr;
    QWidget* picEQ_ = nullptr;
    QWidget* picAmpl_ = nullptr;
    HandsFreePage* handsFree_ = nullptr;
    QSlider* sldReverbLen_ = nullptr;
    QSlider* sldReverbAmp_ = nullptr;
    QSlider* sldShDry_ = nullptr;
    QSlider* sldShWet_ = nullptr;
    QSlider* sldShFb_ = nullptr;
    QSlider* sldShSwpRate_ = nullptr;
    QSlider* sldShSwpRange_ = nullptr;
    QSlider* sldShFreq_ = nullptr;
    QSlider* sldAmplDB_ = nullptr;
    QLabel* lblAmplDB_ = nullptr;
    std::vector<QSlider*> sldEQ_;
    std::vector<QLabel*> lblEQID_;
    Surface picEQAmp_;
    SurfaceView* picEQAmpView_ = nullptr;
    std::vector<QPointF> eqPoints_;
};

}  // namespace quillon
