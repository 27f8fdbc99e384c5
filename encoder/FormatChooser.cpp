#include "encoder/FormatChooser.h"

namespace quillon {

namespace {
FormatChooser* installed = nullptr;
}

FormatChooser* formatChooser()
{
    return installed;
}

void setFormatChooser(FormatChooser* chooser)
{
    installed = chooser;
}

}  // namespace quillon
