#include <gtest/gtest.h>

#include "common/QuillonError.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

TEST(QuillonError, CarriesNumberAndText)
{
    try {
        throw QuillonError(32000, "invalid samplerate");
    } catch (const std::exception& e) {
        const auto* numbered = dynamic_cast<const QuillonError*>(&e);
        ASSERT_NE(numbered, nullptr);
        EXPECT_EQ(numbered->number(), 32000);
        EXPECT_STREQ(e.what(), "invalid samplerate");
    }
}

TEST(MessageBoxes, RecorderReceivesMessagesAndUninstallsItself)
{
    {
        test::RecordingMessageBoxes boxes;
        messageBoxes().show("提示", "没有选择硬件设备!", MessageIcon::Warning);
        ASSERT_EQ(boxes.messages.size(), 1U);
        EXPECT_EQ(boxes.messages[0].title, "提示");
        EXPECT_EQ(boxes.messages[0].text, "没有选择硬件设备!");
        EXPECT_EQ(boxes.messages[0].icon, MessageIcon::Warning);
    }
    // Once the recorder is gone the default sink is back in place.
    test::RecordingMessageBoxes other;
    EXPECT_EQ(&messageBoxes(), &other);
}

}  // namespace
}  // namespace quillon
