#pragma once

#include <QFileDialog>
#include <QString>

class QWidget;

namespace quillon {

// The name the browse button puts into the file box: ".wav" is added unless the name already
// ends in ".wav" in any case (take -> take.wav, take.mp3 -> take.mp3.wav, TAKE.WAV unchanged).
QString WithWavExtension(const QString& name);

// The dialog's single filter entry, e.g. "Wave ACM Encoder (*.wav)".
QString BrowseFilter(const QString& description, const QString& extension);

// Save dialog for the output file: starts with an empty name, one filter, and asks before
// overwriting, also when the file that would be overwritten is the name with ".wav" added.
class OutputFileDialog final : public QFileDialog {
public:
    OutputFileDialog(QWidget* parent, const QString& description, const QString& extension);

    // The name for the file box once the dialog was accepted; empty when it was cancelled.
    [[nodiscard]] QString ChosenName() const;

    void accept() override;
};

// Shows the dialog modally; returns the name for the file box, or empty when cancelled.
QString BrowseOutputFile(QWidget* parent, const QString& description, const QString& extension);

}  // namespace quillon
