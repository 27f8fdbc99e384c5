// The one main() of the test programs that need a Qt application object, one for the whole run.
// quillon_test_qt_main() in this folder's CMakeLists picks its kind.
#include <gtest/gtest.h>

#if defined(QUILLON_TEST_APP_QUILLON)
#include "ui/QuillonApplication.h"
using TestApplication = quillon::QuillonApplication;  // reports escaped errors in a box
#elif defined(QUILLON_TEST_APP_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(QUILLON_TEST_APP_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef QUILLON_TEST_ON_SCREEN
    // On the real screen when there is one (CI runs these under Xvfb); test discovery never looks for it.
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    qputenv("QT_QPA_PLATFORM", !listing && !qEnvironmentVariableIsEmpty("DISPLAY") ? "xcb" : "offscreen");
#else
    // Test discovery runs without the test environment; never look for a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    const TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

#ifdef QUILLON_TEST_MEDIA
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
#endif
