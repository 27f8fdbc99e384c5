#include "ui/OutputFileDialog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace quillon {

QString WithWavExtension(const QString& name)
{
    if (name.right(4).toLower() == QStringLiteral(".wav")) {
        return name;
    }
    return name + QStringLiteral(".wav");
}

QString BrowseFilter(const QString& description, const QString& extension)
{
    const QString pattern = QStringLiteral("*.") + extension;
    return description + QStringLiteral(" (") + pattern + QStringLiteral(")");
}

OutputFileDialog::OutputFileDialog(QWidget* parent, const QString& description, const QString& extension)
    : QFileDialog(parent)
{
    // Qt's own dialog, so accept() below also sees the name the box will really get.
    setOption(QFileDialog::DontUseNativeDialog, true);
    // Qt would ask about the name typed; accept() asks about the file that will be written.
    setOption(QFileDialog::DontConfirmOverwrite, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilter(BrowseFilter(description, extension));
    selectFile(QString());
}

QString OutputFileDialog::ChosenName() const
{
    if (result() != QDialog::Accepted) {
        return {};
    }
    const QStringList files = selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) {
        return {};
    }
    return WithWavExtension(files.first());
}

void OutputFileDialog::accept()
{
    // The box gets the name with ".wav" added: that file is the one overwritten, whatever
    // else exists under the name typed. A folder typed is opened by the dialog instead.
    const QStringList files = selectedFiles();
    if (!files.isEmpty() && !files.first().isEmpty() && !QFileInfo(files.first()).isDir()) {
        const QFileInfo target(WithWavExtension(files.first()));
        if (target.exists() || target.isSymLink()) {
            const auto answer = QMessageBox::question(
                this, windowTitle(),
                QCoreApplication::translate("Quillon", "%1 已存在。\n要替换它吗?").arg(target.fileName()),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer != QMessageBox::Yes) {
                return;
            }
        }
    }
    QFileDialog::accept();
}

QString BrowseOutputFile(QWidget* parent, const QString& description, const QString& extension)
{
    OutputFileDialog dialog(parent, description, extension);
    dialog.exec();
    return dialog.ChosenName();
}

}  // namespace quillon
