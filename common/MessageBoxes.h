#pragma once

#include <string>

namespace quillon {

enum class MessageIcon { Information, Warning, Critical };

// Every message the program shows to the user goes through this seam, so the
// windows can use real dialogs while tests and the command-line tool read the
// messages instead.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a box with one OK button and returns when the user has answered.
    virtual void show(const std::string& title, const std::string& text, MessageIcon icon) = 0;
};

// The installed sink; by default messages go to stderr as "title: text".
MessageBoxes& messageBoxes();
// Installs `boxes` (not owned; must outlive its use). nullptr restores stderr.
void setMessageBoxes(MessageBoxes* boxes);

}  // namespace quillon
