#pragma once

namespace quillon::test {

// Number of calls of the global operator new so far in this program.
long allocationCount();

}  // namespace quillon::test
