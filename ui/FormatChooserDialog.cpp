#include "ui/FormatChooserDialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "common/WaveFormat.h"

namespace quillon {
namespace {

constexpr int kFormatIndexRole = Qt::UserRole;

// The record's own bytes: the 18-byte head and its cbSize extra bytes.
std::span<const std::uint8_t> RecordOf(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kWaveFormatExSize) {
        return {};
    }
    const std::size_t length = kWaveFormatExSize + getLE16(bytes.data() + 16);
    return bytes.first(std::min(length, bytes.size()));
}

}  // namespace

std::vector<acm::AcmFormatDetails> ReachableFormats(std::span<const std::uint8_t> sourceFormat)
{
    std::vector<acm::AcmFormatDetails> all;
    const auto source = WaveFormatEx::parse(sourceFormat);
    if (!source) {
        return all;
    }
    for (const auto& driver : acm::acmDrivers()) {
        auto formats = driver->formats(*source);
        all.insert(all.end(), std::make_move_iterator(formats.begin()), std::make_move_iterator(formats.end()));
    }
    return all;
}

FormatChooserDialog::FormatChooserDialog(std::vector<acm::AcmFormatDetails> formats,
                                         std::span<const std::uint8_t> current, QWidget* owner, const QString& title)
    : QDialog(owner), formats_(std::move(formats))
{
    setWindowTitle(title);
    setModal(true);

    cboTag_ = new QComboBox(this);
    lstFormat_ = new QListWidget(this);
    lstFormat_->setMinimumSize(320, 200);
    buttons_ = new QDialogButtonBox(this);
    buttons_->addButton(QCoreApplication::translate("Quillon", "确定"), QDialogButtonBox::AcceptRole);
    buttons_->addButton(QCoreApplication::translate("Quillon", "取消"), QDialogButtonBox::RejectRole);

    auto* form = new QFormLayout;
    form->addRow(QCoreApplication::translate("Quillon", "格式类别:"), cboTag_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    auto* lblFormat = new QLabel(QCoreApplication::translate("Quillon", "属性:"), this);
    lblFormat->setBuddy(lstFormat_);
    lstFormat_->setAccessibleName(QCoreApplication::translate("Quillon", "属性"));
    layout->addWidget(lblFormat);
    layout->addWidget(lstFormat_, 1);
    layout->addWidget(buttons_);

    for (const auto& f : formats_) {
        if (std::find(tags_.begin(), tags_.end(), f.formatTag) == tags_.end()) {
            tags_.push_back(f.formatTag);
            cboTag_->addItem(QString::fromStdString(f.tagName));
        }
    }

    // Start on the current format when it is offered, else on the first one.
    const auto record = RecordOf(current);
    const auto match = std::find_if(formats_.begin(), formats_.end(), [&](const acm::AcmFormatDetails& f) {
        return !record.empty() && std::equal(f.format.begin(), f.format.end(), record.begin(), record.end());
    });
    int startTag = 0;
    int startRow = 0;
    if (match != formats_.end()) {
        startTag = static_cast<int>(std::find(tags_.begin(), tags_.end(), match->formatTag) - tags_.begin());
        startRow = static_cast<int>(std::count_if(
            formats_.begin(), match, [&](const acm::AcmFormatDetails& f) { return f.formatTag == match->formatTag; }));
    }
    cboTag_->setCurrentIndex(startTag);
    FillFormatList(startTag);
    lstFormat_->setCurrentRow(startRow);

    connect(cboTag_, &QComboBox::currentIndexChanged, this, [this](int index) {
        FillFormatList(index);
        lstFormat_->setCurrentRow(0);
    });
    connect(lstFormat_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(lstFormat_, &QListWidget::currentRowChanged, this,
            [this](int row) { buttons_->buttons().first()->setEnabled(row >= 0); });
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons_->buttons().first()->setEnabled(lstFormat_->currentRow() >= 0);
}

void FormatChooserDialog::FillFormatList(int tagIndex)
{
    lstFormat_->clear();
    if (tagIndex < 0 || tagIndex >= static_cast<int>(tags_.size())) {
        return;
    }
    for (std::size_t i = 0; i < formats_.size(); ++i) {
        if (formats_[i].formatTag == tags_[static_cast<std::size_t>(tagIndex)]) {
            auto* item = new QListWidgetItem(QString::fromStdString(formats_[i].description), lstFormat_);
            item->setData(kFormatIndexRole, static_cast<int>(i));
        }
    }
}

void FormatChooserDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The preselected format may sit far down a long list.
    if (QListWidgetItem* item = lstFormat_->currentItem()) {
        lstFormat_->scrollToItem(item, QAbstractItemView::PositionAtCenter);
    }
}

std::optional<ChosenFormat> FormatChooserDialog::Selected() const
{
    const QListWidgetItem* item = lstFormat_->currentItem();
    if (item == nullptr) {
        return std::nullopt;
    }
    const auto& f = formats_.at(static_cast<std::size_t>(item->data(kFormatIndexRole).toInt()));
    return ChosenFormat{f.format, f.tagName, f.description};
}

std::optional<ChosenFormat> QtFormatChooser::choose(std::span<const std::uint8_t> sourceFormat, void* owner,
                                                    const std::string& title)
{
    FormatChooserDialog dialog(ReachableFormats(sourceFormat), sourceFormat, static_cast<QWidget*>(owner),
                               QString::fromStdString(title));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Selected();
}

}  // namespace quillon
