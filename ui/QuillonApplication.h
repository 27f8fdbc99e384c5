#pragma once

#include <QApplication>

namespace quillon {

// The window program's application: an exception that escapes a slot or an event handler is
// reported in a box instead of ending the program, and the program goes on (a running recording
// included).
class QuillonApplication final : public QApplication {
public:
    QuillonApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The text of the box for an error that escaped; the first line is fixed, the second the detail.
    [[nodiscard]] static std::string EscapedErrorText(const char* what);

private:
    bool reporting_ = false;
};

}  // namespace quillon
