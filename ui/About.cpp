#include "ui/About.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/Twips.h"

namespace quillon {

About::About(QString programFolder, QWidget* parent, UrlOpener opener)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      programFolder_(std::move(programFolder)),
      opener_(opener ? std::move(opener) : UrlOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); }))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QCoreApplication::translate("Quillon", "Quillon-关于我们"));
    setFixedSize(TwipsToPixels(4170), TwipsToPixels(2985));

    auto* label1 = new QLabel(QStringLiteral("Quillon3.91"), this);
    QFont big = label1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    label1->setFont(big);
    auto* label4 = new QLabel(QCoreApplication::translate("Quillon", "感谢您使用我们的软件！！"), this);
    auto* label6 = new QLabel(QCoreApplication::translate("Quillon", "录音前请先对系统和软件设置，详见帮助！"), this);
    auto* huiso = new QLabel(QCoreApplication::translate("Quillon", "联系我们："), this);
    auto* label2 = new QLabel(QCoreApplication::translate("Quillon", "Quillon 开发组"), this);
    auto* label3 = new QLabel(QCoreApplication::translate("Quillon", "问题和建议请提交到项目的问题列表。"), this);
    const QString folder = QDir::toNativeSeparators(QDir(programFolder_).absolutePath());
    auto* label5 =
        new QLabel(QCoreApplication::translate("Quillon", "录音 (file 文件夹) 和 nu.ini 在程序文件夹:"), this);
    label5->setToolTip(folder);
    auto* folderLine = new QLabel(this);
    folderLine->setToolTip(folder);
    folderLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    command1_ = new QPushButton(QCoreApplication::translate("Quillon", "确定"), this);
    command2_ = new QPushButton(QCoreApplication::translate("Quillon", "帮助(&H)"), this);
    command1_->setDefault(true);

    auto* contact = new QHBoxLayout;
    contact->addWidget(huiso);
    contact->addWidget(label2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command1_);
    buttons->addWidget(command2_);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(2);
    layout->addWidget(label1);
    layout->addWidget(label4);
    layout->addWidget(label6);
    layout->addLayout(contact);
    layout->addWidget(label3);
    layout->addWidget(label5);
    layout->addWidget(folderLine);
    layout->addStretch(1);
    layout->addLayout(buttons);

    // A long folder path is shortened in the middle; the tool tip has it whole.
    const int room = width() - layout->contentsMargins().left() - layout->contentsMargins().right();
    folderLine->setText(folderLine->fontMetrics().elidedText(folder, Qt::ElideMiddle, room));

    connect(command1_, &QPushButton::clicked, this, &QWidget::close);
    connect(command2_, &QPushButton::clicked, this, &About::Command2_Click);
}

QUrl About::HelpUrl(const QString& programFolder, const QString& executableFolder)
{
    const QString page = QDir(programFolder).absoluteFilePath(QStringLiteral("bangzhu.htm"));
    if (QFileInfo::exists(page) || executableFolder.isEmpty()) {
        return QUrl::fromLocalFile(page);
    }
    const QDir bin(executableFolder);
    for (const QString& candidate : {bin.absoluteFilePath(QStringLiteral("bangzhu.htm")),
                                     bin.absoluteFilePath(QStringLiteral(QUILLON_HELP_FROM_BINDIR "/bangzhu.htm"))}) {
        if (QFileInfo::exists(candidate)) {
            return QUrl::fromLocalFile(QDir::cleanPath(candidate));
        }
    }
    return QUrl::fromLocalFile(page);
}

void About::Command2_Click()
{
    // Handed to the desktop's viewer as a file URL; a missing page is the viewer's to report.
    opener_(HelpUrl(programFolder_, QCoreApplication::applicationDirPath()));
}

void About::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (centred_) {
        return;
    }
    centred_ = true;
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
}

}  // namespace quillon
