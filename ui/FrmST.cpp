#include "ui/FrmST.h"

#include <QAudioOutput>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/MessageBoxes.h"
#include "encoder/WavMarkers.h"
#include "ui/ModFolderSetFileFocus.h"
#include "ui/Twips.h"

namespace quillon {
namespace {

QString ClockText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

FrmST::FrmST(QWidget* owner, LastFile lastFile, RecordingFile recordingFile)
    : QWidget(nullptr, Qt::Tool),
      lastFile_(std::move(lastFile)),
      recordingFile_(std::move(recordingFile)),
      owner_(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QCoreApplication::translate("Quillon", "Quillon--试听"));
    resize(TwipsToPixels(5040), TwipsToPixels(3030));

    player_ = new QMediaPlayer(this);
    audio_ = new QAudioOutput(this);
    player_->setAudioOutput(audio_);
    audio_->setVolume(0.75F);

    lblFile_ = new QLabel(this);
    lblFile_->setTextInteractionFlags(Qt::NoTextInteraction);
    lblFile_->setMinimumWidth(1);

    play_ = new QToolButton(this);
    play_->setToolTip(QCoreApplication::translate("Quillon", "播放/暂停"));
    play_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    stop_ = new QToolButton(this);
    stop_->setToolTip(QCoreApplication::translate("Quillon", "停止"));
    stop_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    position_ = new QSlider(Qt::Horizontal, this);
    position_->setRange(0, 0);
    play_->setAccessibleName(play_->toolTip());
    stop_->setAccessibleName(stop_->toolTip());
    position_->setAccessibleName(QCoreApplication::translate("Quillon", "播放位置"));
    lblTime_ = new QLabel(QStringLiteral("0:00 / 0:00"), this);

    auto* lblVolume = new QLabel(QCoreApplication::translate("Quillon", "音量:"), this);
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setRange(0, 100);
    volume_->setValue(75);
    lblVolume->setBuddy(volume_);

    markers_ = new QListWidget(this);
    markers_->setAccessibleName(QCoreApplication::translate("Quillon", "标记"));
    markers_->hide();

    command1_ = new QPushButton(QCoreApplication::translate("Quillon", "不满意，删除！"), this);
    command3_ = new QPushButton(QCoreApplication::translate("Quillon", "打开所在文件夹"), this);
    command2_ = new QPushButton(QCoreApplication::translate("Quillon", "关闭"), this);

    auto* transport = new QHBoxLayout;
    transport->addWidget(play_);
    transport->addWidget(stop_);
    transport->addWidget(position_, 1);
    transport->addWidget(lblTime_);

    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(lblVolume);
    volumeRow->addWidget(volume_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(command1_);
    buttons->addWidget(command3_);
    buttons->addStretch(1);
    buttons->addWidget(command2_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblFile_);
    layout->addLayout(transport);
    layout->addLayout(volumeRow);
    layout->addWidget(markers_, 1);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(play_, &QToolButton::clicked, this, [this] {
        if (player_->playbackState() == QMediaPlayer::PlayingState) {
            player_->pause();
        } else {
            player_->play();
        }
    });
    connect(stop_, &QToolButton::clicked, player_, &QMediaPlayer::stop);
    connect(player_, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        play_->setIcon(
            style()->standardIcon(state == QMediaPlayer::PlayingState ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    });
    connect(player_, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        position_->setRange(0, static_cast<int>(ms));
        ShowPosition(player_->position());
    });
    connect(player_, &QMediaPlayer::positionChanged, this, &FrmST::ShowPosition);
    connect(position_, &QSlider::sliderMoved, player_, [this](int ms) { player_->setPosition(ms); });
    connect(volume_, &QSlider::valueChanged, audio_,
            [this](int value) { audio_->setVolume(static_cast<float>(value) / 100.0F); });
    // Errors go into the window instead of a dialog of their own.
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) { lblFile_->setText(text); });

    connect(markers_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { player_->setPosition(item->data(Qt::UserRole).toLongLong()); });
    connect(markers_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { player_->setPosition(item->data(Qt::UserRole).toLongLong()); });
    connect(command1_, &QPushButton::clicked, this, &FrmST::Command1_Click);
    connect(command3_, &QPushButton::clicked, this, &FrmST::Command3_Click);
    connect(command2_, &QPushButton::clicked, this, &QWidget::close);
}

FrmST::~FrmST()
{
    ReleaseMedia();
}

void FrmST::PlayLastFile()
{
    const QString path = lastFile_();
    if (path.isEmpty()) {
        ReleaseMedia();
        lblFile_->clear();
        ListMarkers({});
        return;
    }
    lblFile_->setText(QFileInfo(path).fileName());
    lblFile_->setToolTip(path);
    ListMarkers(path);
    player_->setSource(QUrl::fromLocalFile(path));
    player_->play();
}

void FrmST::ListMarkers(const QString& path)
{
    markers_->clear();
    const auto list = path.isEmpty() ? std::nullopt : ReadWavMarkersFile(QFile::encodeName(path).toStdString());
    if (list && list->sampleRate > 0) {
        for (const WavMarker& marker : list->markers) {
            const qint64 ms = static_cast<qint64>(marker.frame) * 1000 / list->sampleRate;
            markers_->addItem(ClockText(ms) + QStringLiteral("  ") + QString::fromStdString(marker.label));
            markers_->item(markers_->count() - 1)->setData(Qt::UserRole, ms);
        }
    }
    markers_->setVisible(markers_->count() > 0);
}

void FrmST::ShowPosition(qint64 ms)
{
    if (!position_->isSliderDown()) {
        position_->setValue(static_cast<int>(ms));
    }
    lblTime_->setText(ClockText(ms) + QStringLiteral(" / ") + ClockText(player_->duration()));
}

void FrmST::ReleaseMedia()
{
    if (player_ != nullptr) {
        player_->stop();
        player_->setSource(QUrl());
    }
}

void FrmST::Command1_Click()
{
    // The same path chosen again makes the last recording the file being recorded now.
    const QString path = lastFile_();
    if (recordingFile_ && SameFile(path, recordingFile_())) {
        messageBoxes().show("Quillon",
                            QCoreApplication::translate("Quillon", "这个文件正在录音, 不能删除!").toStdString(),
                            MessageIcon::Warning);
        return;
    }
    // The player lets go of the file first, then only the last recording itself is removed:
    // never a folder, and nothing at all when it is gone already.
    ReleaseMedia();
    const QFileInfo info(path);
    if (!path.isEmpty() && (info.isSymLink() || info.isFile())) {
        QFile::remove(path);
    }
    close();
}

void FrmST::Command3_Click()
{
    OpenFolderAndSelectFile(lastFile_());
    close();
}

void FrmST::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!centred_ && owner_ != nullptr) {
        centred_ = true;
        const QRect owner = owner_->frameGeometry();
        move(owner.center() - QPoint(width() / 2, height() / 2));
    }
}

void FrmST::closeEvent(QCloseEvent* event)
{
    ReleaseMedia();
    QWidget::closeEvent(event);
}

bool SameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty()) {
        return false;
    }
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.absoluteFilePath() == second.absoluteFilePath()) {
        return true;
    }
    const QString canonical = first.canonicalFilePath();
    return !canonical.isEmpty() && canonical == second.canonicalFilePath();
}

FrmST* ShowListenBack(QWidget* owner, QPointer<FrmST>& window, const FrmST::LastFile& lastFile,
                      const FrmST::RecordingFile& recordingFile)
{
    if (window.isNull()) {
        window = new FrmST(owner, lastFile, recordingFile);
    }
    window->show();
    window->raise();
    window->activateWindow();
    window->PlayLastFile();
    return window.data();
}

}  // namespace quillon
