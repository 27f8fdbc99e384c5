#include "common/QuillonError.h"

namespace quillon {

QuillonError::QuillonError(int number, const std::string& text) : std::runtime_error(text), number_(number) {}

}  // namespace quillon
