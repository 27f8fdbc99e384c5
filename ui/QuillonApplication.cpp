#include "ui/QuillonApplication.h"

#include <QCoreApplication>
#include <exception>
#include <iostream>
#include <string>

#include "common/MessageBoxes.h"
#include "ui/Logging.h"

namespace quillon {

QuillonApplication::QuillonApplication(int& argc, char** argv) : QApplication(argc, argv) {}

std::string QuillonApplication::EscapedErrorText(const char* what)
{
    return QCoreApplication::translate("Quillon", "程序内部出错, 操作未完成。").toStdString() + "\n" +
           (what != nullptr && *what != '\0' ? what : "unknown error");
}

bool QuillonApplication::notify(QObject* receiver, QEvent* event)
{
    std::string text;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        text = EscapedErrorText(e.what());
    } catch (...) {
        text = EscapedErrorText(nullptr);
    }
    // An error raised again while its box is open (a repaint, a timer) goes to stderr only, so
    // boxes do not pile up.
    if (reporting_) {
        qCWarning(lcUi).noquote() << QString::fromStdString(text);
        return false;
    }
    reporting_ = true;
    try {
        messageBoxes().show("Quillon", text, MessageIcon::Warning);
    } catch (...) {
        std::cerr << "Quillon: " << text << '\n';
    }
    reporting_ = false;
    return false;
}

}  // namespace quillon
