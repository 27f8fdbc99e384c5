#include "common/MessageBoxes.h"

#include <iostream>

namespace quillon {
namespace {

class StderrMessageBoxes final : public MessageBoxes {
public:
    void show(const std::string& title, const std::string& text, MessageIcon /*icon*/) override
    {
        std::cerr << title << ": " << text << '\n';
    }
};

StderrMessageBoxes stderrBoxes;
MessageBoxes* installed = &stderrBoxes;

}  // namespace

MessageBoxes& messageBoxes()
{
    return *installed;
}

void setMessageBoxes(MessageBoxes* boxes)
{
    installed = boxes != nullptr ? boxes : &stderrBoxes;
}

}  // namespace quillon
