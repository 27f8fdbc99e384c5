#include "ui/OutputFileDialog.h"

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
    // The dialog itself asks about the name typed; with ".wav" added another existing file
    // would be overwritten without a word, so ask about that one too.
    const QStringList files = selectedFiles();
    if (!files.isEmpty() && !files.first().isEmpty()) {
        const QString typed = files.first();
        const QString target = WithWavExtension(typed);
        if (target != typed && QFileInfo::exists(target) && !QFileInfo::exists(typed)) {
            const auto answer = QMessageBox::question(this, windowTitle(),
                                                      tr("%1 已存在。\n要替换它吗?").arg(QFileInfo(target).fileName()),
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
