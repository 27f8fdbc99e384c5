#include "ui/QtMessageBoxes.h"

#include "tests/support/TestSupport.h"
#include "ui/QuillonApplication.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <stdexcept>

namespace quillon {
namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    bool modal = false;
    int ticksWhileOpen = 0;
};

// Shows a box through the installed seam over `owner` (a window, or a modal dialog on it), reads
// it back once a timer has ticked a few times meanwhile, and answers it.
SeenBox ShowAndRead(const char* title, const char* text, bool ownerIsModal)
{
    QWidget window;
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QDialog dialog(&window);
    if (ownerIsModal) {
        dialog.setModal(true);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    } else {
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    SeenBox seen;
    // A recording's buffers arrive as timer events: they must go on while the box is open.
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&seen] { ++seen.ticksWhileOpen; });
    ticker.start(1);
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&seen, &reader] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || seen.ticksWhileOpen < 5) {
            return;
        }
        reader.stop();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.parent = box->parentWidget();
        seen.modal = box->isModal();
        seen.ticksWhileOpen = 0;
        QTimer::singleShot(20, box->button(QMessageBox::Ok), &QPushButton::click);
    });
    reader.start(1);
    const QtMessageBoxes boxes;
    messageBoxes().show(title, text, MessageIcon::Warning);
    EXPECT_EQ(seen.parent, ownerIsModal ? static_cast<QWidget*>(&dialog) : &window);
    return seen;
}

TEST(QtMessageBoxes, showsAModalWarningWithOneOkOwnedByTheActiveWindow_whileEventsGoOn)
{
    const struct {
        const char* title;
        const char* text;
        bool ownerIsModal;
    } rows[] = {
        {"提示", "没有选择硬件设备!", false},
        {"Quillon", "Write error (no disk space left?)!\n/tmp/x.wav: No space left on device", false},
        {"Error in WaveInRecorder.sc_Subclass", "Invalid window handle.", true},
    };
    for (const auto& row : rows) {
        const SeenBox seen = ShowAndRead(row.title, row.text, row.ownerIsModal);
        EXPECT_EQ(seen.title, QString::fromUtf8(row.title));
        EXPECT_EQ(seen.text, QString::fromUtf8(row.text));
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_TRUE(seen.modal);
        EXPECT_GT(seen.ticksWhileOpen, 0) << "events go on while the box is open";
    }
    // Uninstalled with the object: back to stderr.
    EXPECT_EQ(dynamic_cast<QtMessageBoxes*>(&messageBoxes()), nullptr);
}

// An error escaping a slot or an event handler is told in a box; the program goes on.
TEST(QuillonApplication, reportsAnExceptionThatEscapesAHandler_andGoesOn)
{
    ASSERT_NE(dynamic_cast<QuillonApplication*>(QCoreApplication::instance()), nullptr);
    const struct {
        std::function<void()> handler;
        const char* detail;
    } rows[] = {
        {[] { throw std::invalid_argument("GSM 6.10 is 8000 Hz mono"); }, "GSM 6.10 is 8000 Hz mono"},
        {[] { throw 42; }, "unknown error"},
    };
    for (const auto& row : rows) {
        test::RecordingMessageBoxes boxes;
        int later = 0;
        QTimer::singleShot(0, row.handler);
        QTimer::singleShot(5, [&later] { ++later; });
        ASSERT_TRUE(QTest::qWaitFor([&later] { return later == 1; }, 5000));
        ASSERT_EQ(boxes.messages.size(), 1U) << row.detail;
        EXPECT_EQ(boxes.messages[0].title, "Quillon");
        EXPECT_EQ(boxes.messages[0].text, QuillonApplication::EscapedErrorText(row.detail));
        EXPECT_EQ(boxes.messages[0].text.substr(boxes.messages[0].text.find('\n') + 1), row.detail);
    }
}

}  // namespace
}  // namespace quillon
