#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <iostream>

namespace quillon {
namespace {

QMessageBox::Icon IconOf(MessageIcon icon)
{
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Warning:
            break;
    }
    return QMessageBox::Warning;
}

}  // namespace

QtMessageBoxes::QtMessageBoxes()
{
    setMessageBoxes(this);
}

QtMessageBoxes::~QtMessageBoxes()
{
    setMessageBoxes(nullptr);
}

QWidget* QtMessageBoxes::Owner()
{
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->isVisible() && w->isWindow() && !w->windowFlags().testFlag(Qt::Popup) &&
            !w->windowFlags().testFlag(Qt::ToolTip)) {
            return w;
        }
    }
    return nullptr;
}

void QtMessageBoxes::show(const std::string& title, const std::string& text, MessageIcon icon)
{
    // Widgets live on the UI thread only; a message from elsewhere is not lost, but not a box.
    if (QCoreApplication::instance() == nullptr || QThread::currentThread() != QCoreApplication::instance()->thread()) {
        std::cerr << title << ": " << text << '\n';
        return;
    }
    // Events go on while the box is open, so its owner may be destroyed meanwhile and take the
    // box with it: the box is watched rather than owned here.
    const QPointer<QMessageBox> box = new QMessageBox(IconOf(icon), QString::fromStdString(title),
                                                      QString::fromStdString(text), QMessageBox::Ok, Owner());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->exec();
    if (box) {
        box->deleteLater();
    }
}

}  // namespace quillon
