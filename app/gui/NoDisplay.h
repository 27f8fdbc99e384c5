#pragma once

namespace quillon {

// While the application object connects to the display: Qt ends a failed connection with
// advice to reinstall the program. This says instead, in one line, that no display is
// available and how to record without one, and exits with 1. Messages Qt gives meanwhile
// are held back and passed on by done(), when the connection worked.
class NoDisplayGuard {
public:
    NoDisplayGuard();
    ~NoDisplayGuard();
    NoDisplayGuard(const NoDisplayGuard&) = delete;
    NoDisplayGuard& operator=(const NoDisplayGuard&) = delete;
    void done();
};

}  // namespace quillon
