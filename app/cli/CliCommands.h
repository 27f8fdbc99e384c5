#pragma once

#include <string>
#include <vector>

namespace quillon::cli {

// Each sub-command gets the arguments after its name and returns the exit code.
using Args = std::vector<std::string>;

// quillon-cli record [options]: the record button's sequences without the window.
int runRecord(const Args& args);

}  // namespace quillon::cli
