#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "encoder/FormatChooser.h"
#include "encoder/acm/AcmCodec.h"

class QComboBox;
class QDialogButtonBox;
class QListWidget;

namespace quillon {

// Every output format the conversion layer can produce from `sourceFormat` (16-bit PCM), in the
// order of its drivers.
std::vector<acm::AcmFormatDetails> ReachableFormats(std::span<const std::uint8_t> sourceFormat);

// The output format chooser: a list of format tags and, for the chosen tag, the formats
// reachable from the capture format with their descriptions.
class FormatChooserDialog final : public QDialog {
public:
    // `current` is preselected when it is among `formats` (the capture format itself, usually).
    FormatChooserDialog(std::vector<acm::AcmFormatDetails> formats, std::span<const std::uint8_t> current,
                        QWidget* owner, const QString& title);

    // The format selected now, or nullopt when the list is empty.
    [[nodiscard]] std::optional<ChosenFormat> Selected() const;

    [[nodiscard]] QComboBox* TagList() const { return cboTag_; }
    [[nodiscard]] QListWidget* FormatList() const { return lstFormat_; }
    [[nodiscard]] QDialogButtonBox* Buttons() const { return buttons_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillFormatList(int tagIndex);

    std::vector<acm::AcmFormatDetails> formats_;
    std::vector<std::uint16_t> tags_;
    QComboBox* cboTag_ = nullptr;
    QListWidget* lstFormat_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

// The chooser the window installs for the encoder; `owner` is the owning QWidget or nullptr.
class QtFormatChooser final : public FormatChooser {
public:
    std::optional<ChosenFormat> choose(std::span<const std::uint8_t> sourceFormat, void* owner,
                                       const std::string& title) override;
};

}  // namespace quillon
