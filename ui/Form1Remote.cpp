// The main window controlled from outside: the session bus, the tray menu, a desktop shortcut.
#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "ui/Form1.h"

namespace quillon {

QString Form1::RemoteState() const
{
    // Waiting for sound or a start time will answer "armed" here, before "idle".
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
    remoteClick(!engines_->capture().IsRecording());
}

void Form1::RemoteMark()
{
    // Markers are not recorded yet: the caller gets the state and nothing changes.
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
        engines_->capture().IsRecording() == record) {
        return;
    }
    remoteClickPending_ = true;
    // Queued: the caller has its answer before any box of the start is raised.
    QTimer::singleShot(0, this, [this, record] {
        if (engines_->capture().IsRecording() != record) {
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
