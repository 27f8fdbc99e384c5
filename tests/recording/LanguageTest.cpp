// Which language the user sees: Chinese by default, English for other set locales.
#include "recording/Language.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <string>

#include "encoder/WavRepair.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

struct LocaleCase {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    const char* language;
    bool english;
};

TEST(Language, EnglishOnlyForASetLocaleThatIsNeitherChineseNorC)
{
    const LocaleCase cases[] = {
        {"", "", "", "", false},                        // nothing set
        {"C", "", "en_US.UTF-8", "", false},            // LC_ALL decides first
        {"C.UTF-8", "", "", "en", false},               // LANGUAGE is ignored under C
        {"POSIX", "", "", "", false},                   //
        {"", "", "zh_CN.UTF-8", "", false},             //
        {"", "", "zh_TW.UTF-8", "", false},             //
        {"", "", "en_US.UTF-8", "", true},              //
        {"", "", "de_DE.UTF-8", "", true},              // any other language gets English
        {"", "zh_CN.UTF-8", "en_US.UTF-8", "", false},  // LC_MESSAGES before LANG
        {"en_GB.UTF-8", "zh_CN.UTF-8", "", "", true},   // LC_ALL before LC_MESSAGES
        {"", "", "zh_CN.UTF-8", "en_US:zh_CN", true},   // LANGUAGE's first entry
        {"", "", "en_US.UTF-8", "zh_CN:en", false},     //
        {"", "", "en_US.UTF-8", ":", true},             // an empty list is no list
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WantsEnglish(c.lcAll, c.lcMessages, c.lang, c.language), c.english)
            << "LC_ALL=" << c.lcAll << " LC_MESSAGES=" << c.lcMessages << " LANG=" << c.lang
            << " LANGUAGE=" << c.language;
    }
}

// The real quillon-cli without a sound server: its start message in the user's language.
TEST(Language, TheCommandLineSpeaksTheLocalesLanguage)
{
    const std::string cli = std::string(QUILLON_BINARY_DIR) + "/app/quillon-cli";
    test::TempDir home;
    const auto run = [&](const char* lcAll) {
        return test::runProgram({"env", std::string("LC_ALL=") + lcAll, "LANGUAGE=", "PULSE_SERVER=unix:/nonexistent",
                                 cli, "record", "--seconds", "0.2", "--home", home.path().string()});
    };
    const auto english = run("en_US.UTF-8");
    EXPECT_NE(english.output.find("Notice: Cannot start recording!"), std::string::npos) << english.output;
    const auto chinese = run("C.UTF-8");
    EXPECT_NE(chinese.output.find("提示: 不能启动录音功能!"), std::string::npos) << chinese.output;
}

TEST(Language, TheEnglishTranslationIsBuiltIn)
{
    const QByteArray before = qgetenv("LC_ALL");
    qputenv("LC_ALL", "en_US.UTF-8");
    int argc = 1;
    char name[] = "language_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ASSERT_TRUE(InstallTranslation(app));
    EXPECT_EQ(Translated("开始录音"), "Record");
    EXPECT_EQ(Translated("Couldn't select mixer line!"), "Couldn't select mixer line!");  // English stays
    // A sentence with a line of detail: the sentence translated, the detail kept.
    EXPECT_EQ(Translated("不能启动录音功能!\nConnection refused\n"), "Cannot start recording!\nConnection refused\n");
    // The start-up repair's message: its headings come from the encoder, the file names stay.
    const FolderRepairReport report{{"file/录音5.wav"}, {"file/录音6.wav"}};
    EXPECT_EQ(Translated(recoveryMessage(report)),
              "These recordings did not end normally and have been repaired:\n录音5.wav\n\n"
              "These files could not be repaired and were left as they are:\n录音6.wav");
    qputenv("LC_ALL", before);
}

}  // namespace
}  // namespace quillon
