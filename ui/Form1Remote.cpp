// The main window controlled from outside: the session bus, the tray menu, a desktop shortcut.
#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "ui/Form1.h"

namespace quillon {

QString Form1::RemoteState() const
{
    if (waitingForStart_ || control_->Armed()) {
        return QStringLiteral("armed");
    }
    return engines_->capture().IsRecording() ? QStringLiteral("recording") : QStringLiteral("idle");
}

QString Form1::RemoteFile() const
{
    return control_->RecordingFile();
}

qint64 Form1::RemoteSeconds() const
{
    return engines_->capture().IsRecording() ? control_->lngElapsedMs() / 1000 : 0;
}

bool Form1::busy() const
{
    // Waiting for the start time counts: the record button reads 停止录音 then.
    return engines_->capture().IsRecording() || waitingForStart_;
}

void Form1::RemoteStart()
{
    remoteClick(true);
}

void Form1::RemoteStop()
{
    remoteClick(false);
}

void Form1::RemoteToggle()
{
    remoteClick(!busy());
}

void Form1::RemoteMark()
{
    control_->Mark();
}

void Form1::RemoteShow()
{
    if (unloaded_) {
        return;
    }
    showNormal();
    raise();
    activateWindow();
}

void Form1::remoteClick(bool record)
{
    // A box open means a click's sequence waits for its answer (or the user has one to read);
    // a second click now would run inside it.
    if (!blnLoaded_ || unloaded_ || remoteClickPending_ || QApplication::activeModalWidget() != nullptr ||
        busy() == record) {
        return;
    }
    remoteClickPending_ = true;
    // Queued: the caller has its answer before any box of the start is raised.
    QTimer::singleShot(0, this, [this, record] {
        if (busy() != record) {
            cmdDo_Click();
        }
        remoteClickPending_ = false;
    });
}

void Form1::ShowNote(const QString& text)
{
    if (sbarNote == nullptr) {
        sbarNote = new QLabel(sbar);
        sbarNote->setObjectName(QStringLiteral("sbarNote"));
        sbar->addWidget(sbarNote);
    }
    sbarNote->setText(text);
    sbarNote->setToolTip(text);
    sbarNote->show();
    FixStatusPanels();
}

}  // namespace quillon
