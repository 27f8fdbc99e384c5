#include "ui/HandsFreePage.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QTimeEdit>

namespace quillon {

namespace {

QString translated(const char* text)
{
    return QCoreApplication::translate("Quillon", text);
}

}  // namespace

HandsFreePage::HandsFreePage(QWidget* parent) : QWidget(parent)
{
    auto* form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setVerticalSpacing(2);

    chkSound_ = new QCheckBox(translated(QT_TRANSLATE_NOOP("Quillon", "声控录音: 有声音时才录")), this);
    form->addRow(chkSound_);
    spnLevel_ = new QSpinBox(this);
    spnLevel_->setRange(-90, -1);
    spnLevel_->setSuffix(QStringLiteral(" dBFS"));
    form->addRow(translated(QT_TRANSLATE_NOOP("Quillon", "触发电平:")), spnLevel_);
    spnPreRoll_ = new QDoubleSpinBox(this);
    spnPreRoll_->setRange(0, kMaxPreRollSeconds);
    spnPreRoll_->setDecimals(1);
    spnPreRoll_->setSingleStep(0.1);
    spnPreRoll_->setSuffix(QStringLiteral(" s"));
    form->addRow(translated(QT_TRANSLATE_NOOP("Quillon", "预录:")), spnPreRoll_);
    chkSilence_ = new QCheckBox(translated(QT_TRANSLATE_NOOP("Quillon", "静音后结束:")), this);
    spnSilence_ = new QDoubleSpinBox(this);
    spnSilence_->setRange(0.1, 3600);
    spnSilence_->setDecimals(1);
    spnSilence_->setSuffix(QStringLiteral(" s"));
    form->addRow(chkSilence_, spnSilence_);
    chkSplit_ = new QCheckBox(translated(QT_TRANSLATE_NOOP("Quillon", "然后等待下一段声音, 存为新文件")), this);
    form->addRow(chkSplit_);
    chkStartAt_ = new QCheckBox(translated(QT_TRANSLATE_NOOP("Quillon", "定时开始:")), this);
    tmStartAt_ = new QTimeEdit(this);
    tmStartAt_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    form->addRow(chkStartAt_, tmStartAt_);
    chkStopAt_ = new QCheckBox(translated(QT_TRANSLATE_NOOP("Quillon", "定时停止:")), this);
    tmStopAt_ = new QTimeEdit(this);
    tmStopAt_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    form->addRow(chkStopAt_, tmStopAt_);
    // A field beside a check box is named by it, as a label names its buddy.
    spnSilence_->setAccessibleName(chkSilence_->text());
    tmStartAt_->setAccessibleName(chkStartAt_->text());
    tmStopAt_->setAccessibleName(chkStopAt_->text());

    for (QCheckBox* box : {chkSound_, chkSilence_, chkSplit_, chkStartAt_, chkStopAt_}) {
        connect(box, &QCheckBox::toggled, this, [this] { save(); });
    }
    connect(spnLevel_, &QSpinBox::valueChanged, this, [this] { save(); });
    for (QDoubleSpinBox* box : {spnPreRoll_, spnSilence_}) {
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { save(); });
    }
    for (QTimeEdit* edit : {tmStartAt_, tmStopAt_}) {
        connect(edit, &QTimeEdit::timeChanged, this, [this] { save(); });
    }
    setEnabled(false);
}

void HandsFreePage::Load(HandsFreeSettings& settings)
{
    settings_ = &settings;
    loading_ = true;
    chkSound_->setChecked(settings.soundActivated);
    spnLevel_->setValue(static_cast<int>(std::lround(settings.trigger.startAboveDbfs)));
    spnPreRoll_->setValue(settings.trigger.preRollSeconds);
    chkSilence_->setChecked(settings.trigger.stopAfterSilenceSeconds.has_value());
    spnSilence_->setValue(settings.trigger.stopAfterSilenceSeconds.value_or(2.0));
    chkSplit_->setChecked(settings.trigger.splitOnSilence);
    const QTime now = QTime::currentTime();
    chkStartAt_->setChecked(settings.startAt.has_value());
    tmStartAt_->setTime(settings.startAt.value_or(QTime(now.hour(), now.minute()).addSecs(5 * 60)));
    chkStopAt_->setChecked(settings.stopAt.has_value());
    tmStopAt_->setTime(settings.stopAt.value_or(QTime(now.hour(), now.minute()).addSecs(65 * 60)));
    loading_ = false;
    setEnabled(true);
    enableRows();
}

void HandsFreePage::save()
{
    enableRows();
    if (settings_ == nullptr || loading_) {
        return;
    }
    settings_->soundActivated = chkSound_->isChecked();
    settings_->trigger.startAboveDbfs = spnLevel_->value();
    settings_->trigger.preRollSeconds = spnPreRoll_->value();
    settings_->trigger.stopAfterSilenceSeconds =
        chkSilence_->isChecked() ? std::optional<double>(spnSilence_->value()) : std::nullopt;
    settings_->trigger.splitOnSilence = chkSplit_->isChecked();
    settings_->startAt = chkStartAt_->isChecked() ? std::optional<QTime>(tmStartAt_->time()) : std::nullopt;
    settings_->stopAt = chkStopAt_->isChecked() ? std::optional<QTime>(tmStopAt_->time()) : std::nullopt;
}

void HandsFreePage::enableRows()
{
    const bool sound = chkSound_->isChecked();
    spnLevel_->setEnabled(sound);
    spnPreRoll_->setEnabled(sound);
    chkSilence_->setEnabled(sound);
    spnSilence_->setEnabled(sound && chkSilence_->isChecked());
    chkSplit_->setEnabled(sound && chkSilence_->isChecked());
    tmStartAt_->setEnabled(chkStartAt_->isChecked());
    tmStopAt_->setEnabled(chkStopAt_->isChecked());
}

}  // namespace quillon
