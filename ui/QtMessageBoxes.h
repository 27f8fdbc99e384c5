#pragma once

#include "common/MessageBoxes.h"

class QWidget;

namespace quillon {

// The window program's boxes: a modal QMessageBox with one OK button, owned by the program's
// active window. Its own event loop runs while it is open, so a recording goes on meanwhile.
class QtMessageBoxes final : public MessageBoxes {
public:
    QtMessageBoxes();
    ~QtMessageBoxes() override;
    QtMessageBoxes(const QtMessageBoxes&) = delete;
    QtMessageBoxes& operator=(const QtMessageBoxes&) = delete;

    void show(const std::string& title, const std::string& text, MessageIcon icon) override;

    // The window a box raised now belongs to: the open modal window, else the active window,
    // else the first visible window of the program; nullptr when none is shown.
    [[nodiscard]] static QWidget* Owner();
};

}  // namespace quillon
