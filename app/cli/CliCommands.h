#pragma once

#include <string>
#include <vector>

namespace quillon::cli {

// Each sub-command gets the arguments after its name and returns the exit code.
using Args = std::vector<std::string>;

}  // namespace quillon::cli
