#include "ui/FormatChooserDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "common/WaveFormat.h"
#include "encoder/EncoderWAV.h"

namespace quillon {
namespace {

QStringList Items(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    return texts;
}

std::vector<std::uint8_t> Pcm(std::int32_t rate, std::int16_t channels, std::int16_t bits)
{
    return MakePCMFormat(rate, channels, bits).bytes();
}

TEST(ReachableFormats, offerThePcmCaptureFormatWithItsDescription)
{
    const auto formats = ReachableFormats(Pcm(44100, 2, 16));
    const auto it = std::find_if(formats.begin(), formats.end(),
                                 [](const acm::AcmFormatDetails& f) { return f.format == Pcm(44100, 2, 16); });
    ASSERT_NE(it, formats.end());
    EXPECT_EQ(it->tagName, "PCM");
    EXPECT_EQ(it->description, "44.1 kHz 16 Bit Stereo");
    EXPECT_TRUE(ReachableFormats({}).empty());
}

TEST(FormatChooserDialog, listsTagsAndTheFormatsOfTheChosenTag_withTheCaptureFormatPreselected)
{
    const auto source = Pcm(22050, 1, 16);
    FormatChooserDialog dialog(ReachableFormats(source), source, nullptr, QStringLiteral("选择声音输出格式"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("选择声音输出格式"));
    ASSERT_GE(dialog.TagList()->count(), 1);
    EXPECT_EQ(dialog.TagList()->itemText(0), QStringLiteral("PCM"));
    EXPECT_TRUE(Items(dialog.FormatList()).contains(QStringLiteral("44.1 kHz 16 Bit Stereo")));
    EXPECT_EQ(dialog.FormatList()->currentItem()->text(), QStringLiteral("22.05 kHz 16 Bit Mono"));
    const auto chosen = dialog.Selected();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->format, source);
    EXPECT_EQ(chosen->tagName, "PCM");
}

TEST(FormatChooserDialog, selectedFormatIsTheRecordOfTheChosenRow)
{
    const auto source = Pcm(44100, 2, 16);
    const auto formats = ReachableFormats(source);
    FormatChooserDialog dialog(formats, source, nullptr, QStringLiteral("t"));
    for (int row = 0; row < dialog.FormatList()->count(); ++row) {
        dialog.FormatList()->setCurrentRow(row);
        const auto chosen = dialog.Selected();
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(QString::fromStdString(chosen->description), dialog.FormatList()->item(row)->text());
        const auto parsed = WaveFormatEx::parse(chosen->format);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(chosen->format.size(), kWaveFormatExSize + parsed->cbSize);
    }
}

// A second family of formats: the tag list offers both, and each tag lists only its own.
class ExtraDriver final : public acm::AcmDriver {
public:
    std::vector<acm::AcmFormatTag> formatTags() const override { return {{0x7777, "Test Codec"}}; }
    std::unique_ptr<acm::AcmCodec> open(const WaveFormatEx&, std::span<const std::uint8_t>) const override
    {
        return nullptr;
    }
    std::vector<acm::AcmFormatDetails> formats(const WaveFormatEx& source) const override
    {
        WaveFormatEx f = source;
        f.wFormatTag = 0x7777;
        f.cbSize = 32;
        auto bytes = f.bytes();
        bytes.resize(kWaveFormatExSize + 32, 0xAB);
        return {{0x7777, "Test Codec", "Test 1", bytes}, {0x7777, "Test Codec", "Test 2", bytes}};
    }
};

TEST(FormatChooserDialog, switchingTheTagListsThatTagsFormats)
{
    acm::acmRegisterDriver(std::make_unique<ExtraDriver>());
    const auto source = Pcm(8000, 1, 16);
    FormatChooserDialog dialog(ReachableFormats(source), source, nullptr, QStringLiteral("t"));
    const int extra = dialog.TagList()->findText(QStringLiteral("Test Codec"));
    ASSERT_GE(extra, 1);  // after the built-in tags
    EXPECT_EQ(dialog.TagList()->findText(QStringLiteral("Test Codec"), Qt::MatchExactly),
              dialog.TagList()->count() - 1);
    dialog.TagList()->setCurrentIndex(extra);
    EXPECT_EQ(Items(dialog.FormatList()), (QStringList{QStringLiteral("Test 1"), QStringLiteral("Test 2")}));
    const auto chosen = dialog.Selected();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->tagName, "Test Codec");
    EXPECT_EQ(chosen->format.size(), 50U);
    dialog.TagList()->setCurrentIndex(0);
    EXPECT_FALSE(Items(dialog.FormatList()).contains(QStringLiteral("Test 1")));
}

// The encoder's SelectFormat through the installed dialog, answered by a timer.
struct SelectThroughDialog : ::testing::Test {
    SelectThroughDialog() { setFormatChooser(&chooser); }
    ~SelectThroughDialog() override { setFormatChooser(nullptr); }
    void AnswerWith(const QString& description, bool ok)
    {
        QTimer::singleShot(0, [description, ok] {
            auto* dialog = dynamic_cast<FormatChooserDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            const auto found = dialog->FormatList()->findItems(description, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1);
            dialog->FormatList()->setCurrentItem(found.first());
            if (ok) {
                dialog->accept();
            } else {
                dialog->reject();
            }
        });
    }
    QtFormatChooser chooser;
    EncoderWAV encoder;
};

TEST_F(SelectThroughDialog, okStoresTheChosenFormatAndItsTexts)
{
    QWidget owner;
    AnswerWith(QStringLiteral("8 kHz 16 Bit Mono"), true);
    EXPECT_EQ(encoder.SelectFormat(44100, 2, &owner, "选择声音输出格式"), 0);
    EXPECT_EQ(encoder.FormatTag(), "PCM");
    EXPECT_EQ(encoder.FormatID(), "8 kHz 16 Bit Mono");
    const auto format = encoder.OutputFormat();
    EXPECT_EQ(std::vector<std::uint8_t>(format.begin(), format.end()), Pcm(8000, 1, 16));
}

TEST_F(SelectThroughDialog, cancelReturns11AndChangesNothing)
{
    const std::string tag = encoder.FormatTag();
    const std::string id = encoder.FormatID();
    const auto before = std::vector<std::uint8_t>(encoder.OutputFormat().begin(), encoder.OutputFormat().end());
    AnswerWith(QStringLiteral("8 kHz 16 Bit Mono"), false);
    EXPECT_EQ(encoder.SelectFormat(44100, 2, nullptr, "选择声音输出格式"), 11);
    EXPECT_EQ(encoder.FormatTag(), tag);
    EXPECT_EQ(encoder.FormatID(), id);
    EXPECT_EQ(std::vector<std::uint8_t>(encoder.OutputFormat().begin(), encoder.OutputFormat().end()), before);
}

}  // namespace
}  // namespace quillon
