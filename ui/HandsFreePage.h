#pragma once

#include <QWidget>

#include "recording/HandsFree.h"

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;
class QTimeEdit;

namespace quillon {

// The settings window's "自动录音" page: sound-activated and timed takes. Every change is written
// into the settings at once; they apply from the next start.
class HandsFreePage final : public QWidget {
public:
    explicit HandsFreePage(QWidget* parent = nullptr);

    // Shows `settings` and edits them from now on (they must outlive the page's use).
    void Load(HandsFreeSettings& settings);

    [[nodiscard]] QCheckBox* chkSound() const { return chkSound_; }
    [[nodiscard]] QSpinBox* spnLevel() const { return spnLevel_; }
    [[nodiscard]] QDoubleSpinBox* spnPreRoll() const { return spnPreRoll_; }
    [[nodiscard]] QCheckBox* chkSilence() const { return chkSilence_; }
    [[nodiscard]] QDoubleSpinBox* spnSilence() const { return spnSilence_; }
    [[nodiscard]] QCheckBox* chkSplit() const { return chkSplit_; }
    [[nodiscard]] QCheckBox* chkStartAt() const { return chkStartAt_; }
    [[nodiscard]] QTimeEdit* tmStartAt() const { return tmStartAt_; }
    [[nodiscard]] QCheckBox* chkStopAt() const { return chkStopAt_; }
    [[nodiscard]] QTimeEdit* tmStopAt() const { return tmStopAt_; }

private:
    void save();
    void enableRows();

    HandsFreeSettings* settings_ = nullptr;
    bool loading_ = false;
    QCheckBox* chkSound_ = nullptr;
    QSpinBox* spnLevel_ = nullptr;
    QDoubleSpinBox* spnPreRoll_ = nullptr;
    QCheckBox* chkSilence_ = nullptr;
    QDoubleSpinBox* spnSilence_ = nullptr;
    QCheckBox* chkSplit_ = nullptr;
    QCheckBox* chkStartAt_ = nullptr;
    QTimeEdit* tmStartAt_ = nullptr;
    QCheckBox* chkStopAt_ = nullptr;
    QTimeEdit* tmStopAt_ = nullptr;
};

}  // namespace quillon
