// One application, the window program's own, for every widget test of this executable (gtest_main owns main()).
#include <gtest/gtest.h>

#include <memory>

#include "ui/QuillonApplication.h"

namespace {

class QtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "windows_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<quillon::QuillonApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<quillon::QuillonApplication> app_;
};

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

// Under the sanitizers: Qt Multimedia's process-wide media back end (GStreamer's PulseAudio
// device monitor) keeps a few allocations until exit. Those stacks run through libraries
// built without frame pointers, so they are unwound the slow way to be recognised by name.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libgstpulseaudio\nleak:QPulseAudioEngine\n";
}
