// The main window's buttons that lead to the other windows, and its tray icon.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>

#include "effects/clsDSP.h"
#include "encoder/EncoderWAV.h"
#include "recording/FileCounter.h"
#include "recording/Language.h"
#include "ui/About.h"
#include "ui/Form1.h"
#include "ui/FormatChooserDialog.h"
#include "ui/FrmST.h"
#include "ui/ModFolderSetFileFocus.h"
#include "ui/OutputFileDialog.h"
#include "ui/TrayIcon.h"
#include "ui/frmFXOpts.h"

namespace quillon {
namespace {

// The encoder's texts for the file dialog, also when the window runs without a real encoder.
const QString kEncoderDescription = QStringLiteral("Wave ACM Encoder");
const QString kEncoderExtension = QStringLiteral("wav");

}  // namespace

void Form1::connectWindows()
{
    connect(cmdBrowse, &QPushButton::clicked, this, &Form1::cmdBrowse_Click);
    connect(cmdFXOpts, &QPushButton::clicked, this, &Form1::cmdFXOpts_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(CmdST, &QPushButton::clicked, this, &Form1::CmdST_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);

    // The encoder's chooser is our dialog; the window is its owner.
    static QtFormatChooser chooser;
    if (formatChooser() == nullptr) {
        setFormatChooser(&chooser);
    }
    if (!formatChooser_) {
        SelectFormatWith([this](std::int32_t rate, std::int16_t channels, QWidget* owner) {
            if (EncoderWAV* encoder = engines_->clsEncoder()) {
                encoder->SelectFormat(rate, channels, owner,
                                      Translated(QT_TRANSLATE_NOOP("Quillon", "选择声音输出格式")));
            }
        });
    }

    // The icon lives from the end of start-up to the unload. While it is there, hiding the window
    // must not end the program when some other window closes.
    connect(this, &Form1::loaded, this, [this] {
        tray_ = std::make_unique<TrayIcon>(this, windowIcon(), [this] { close(); });
        QApplication::setQuitOnLastWindowClosed(false);
    });
    connect(this, &Form1::unloading, this, [this] {
        tray_.reset();
        QApplication::setQuitOnLastWindowClosed(true);
    });
}

void Form1::cmdBrowse_Click()
{
    const EncoderWAV* encoder = engines_->clsEncoder();
    const QString description =
        encoder != nullptr ? QString::fromStdString(encoder->Encoder_Description()) : kEncoderDescription;
    const QString extension =
        encoder != nullptr ? QString::fromStdString(encoder->Encoder_Extension()) : kEncoderExtension;
    const QString name = BrowseOutputFile(this, description, extension);
    if (!name.isEmpty()) {
        txtFile->setText(name);
    }
}

void Form1::cmdFXOpts_Click()
{
    if (clsDSP* chain = engines_->clsEffects()) {
        frmFXOpts window(this);
        window.ShowEx(*chain, this);
    }
}

void Form1::Command3_Click()
{
    OpenFolderAndSelectFile(txtFile->text());
}

void Form1::CmdST_Click()
{
    ShowListenBack(
        this, frmST_, [] { return varLastFile(); }, [this] { return control_->RecordingFile(); });
}

void Form1::CloseOtherWindows()
{
    if (frmST_ != nullptr) {
        frmST_->close();
    }
    if (about_ != nullptr) {
        about_->close();
    }
}

void Form1::Command1_Click()
{
    if (about_.isNull()) {
        // No parent: the main window's end must not destroy it under the user's hands.
        about_ = new About(control_->programFolder());
        about_->setWindowIcon(windowIcon());
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void Form1::Command4_Click()
{
    PutAwayWindow(this, tray_ != nullptr && QSystemTrayIcon::isSystemTrayAvailable());
}

}  // namespace quillon
