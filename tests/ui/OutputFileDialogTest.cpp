#include "ui/OutputFileDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& p)
{
    return QString::fromStdString(p.string());
}

TEST(WithWavExtension, addsWavUnlessTheNameEndsInWavInAnyCase)
{
    const struct {
        const char* chosen;
        const char* expected;
    } rows[] = {
        {"take", "take.wav"},
        {"take.mp3", "take.mp3.wav"},
        {"TAKE.WAV", "TAKE.WAV"},
        {"/home/u/录音.Wav", "/home/u/录音.Wav"},
        {"take.wav.bak", "take.wav.bak.wav"},
        {"take.", "take..wav"},
        {"wav", "wav.wav"},
        {".wav", ".wav"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WithWavExtension(QString::fromUtf8(row.chosen)), QString::fromUtf8(row.expected)) << row.chosen;
    }
}

TEST(BrowseFilter, isTheSingleEncoderEntry)
{
    EXPECT_EQ(BrowseFilter(QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav")),
              QStringLiteral("Wave ACM Encoder (*.wav)"));
}

TEST(OutputFileDialog, startsEmptyWithOneFilterAndAsksBeforeOverwriting)
{
    OutputFileDialog dialog(nullptr, QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav"));
    EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("Wave ACM Encoder (*.wav)")});
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(dialog.ChosenName().isEmpty());
}

TEST(OutputFileDialog, acceptedNameGetsWavAdded_andCancelGivesNothing)
{
    test::TempDir dir;
    {
        OutputFileDialog dialog(nullptr, QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav"));
        dialog.setDirectory(Q(dir.path()));
        dialog.selectFile(Q(dir / "take"));
        dialog.open();
        dialog.accept();
        EXPECT_EQ(dialog.ChosenName(), Q(dir / "take.wav"));
    }
    {
        OutputFileDialog dialog(nullptr, QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav"));
        dialog.selectFile(Q(dir / "take"));
        dialog.open();
        dialog.reject();
        EXPECT_TRUE(dialog.ChosenName().isEmpty());
    }
}

// "take" is new but "take.wav", which the box would get, exists: that overwrite is asked about too.
TEST(OutputFileDialog, asksAboutTheFileWithWavAdded_andStaysOpenOnNo)
{
    test::TempDir dir;
    std::ofstream(dir / "take.wav").put('x');
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        OutputFileDialog dialog(nullptr, QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav"));
        dialog.setDirectory(Q(dir.path()));
        dialog.selectFile(Q(dir / "take"));
        dialog.open();
        QString asked;
        QTimer::singleShot(0, [&asked, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = box->text();
            box->button(answer)->click();
        });
        dialog.accept();
        EXPECT_TRUE(asked.contains(QStringLiteral("take.wav"))) << asked.toStdString();
        if (answer == QMessageBox::No) {
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(dialog.ChosenName().isEmpty());
        } else {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(dialog.ChosenName(), Q(dir / "take.wav"));
        }
    }
}

}  // namespace
}  // namespace quillon
