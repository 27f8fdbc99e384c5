#include "ui/Logging.h"

namespace quillon {

Q_LOGGING_CATEGORY(lcUi, "quillon.ui")

}  // namespace quillon
