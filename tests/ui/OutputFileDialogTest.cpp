#include "ui/OutputFileDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <vector>

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

TEST(OutputFileDialog, startsEmptyWithOneFilter)
{
    OutputFileDialog dialog(nullptr, QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav"));
    EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("Wave ACM Encoder (*.wav)")});
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
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

// The question names the file the box will get (the name with ".wav" added), never the name typed.
TEST(OutputFileDialog, asksAboutTheFileThatWillBeWritten_andStaysOpenOnNo)
{
    const struct {
        std::vector<const char*> present;
        const char* typed;
        QMessageBox::StandardButton answer;
        bool asked;  // about take.wav
    } rows[] = {
        {{"take.wav"}, "take", QMessageBox::No, true},          {{"take.wav"}, "take", QMessageBox::Yes, true},
        {{"take", "take.wav"}, "take", QMessageBox::Yes, true}, {{"take"}, "take", QMessageBox::Yes, false},
        {{"take.wav"}, "take.wav", QMessageBox::Yes, true},
    };
    for (const auto& row : rows) {
        test::TempDir dir;
        for (const char* name : row.present) {
            std::ofstream(dir / name).put('x');
        }
        OutputFileDialog dialog(nullptr, QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav"));
        dialog.setDirectory(Q(dir.path()));
        dialog.selectFile(Q(dir / row.typed));
        dialog.open();
        QStringList asked;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&asked, &row] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked << box->text();
                box->button(row.answer)->click();
            }
        });
        timer.start(0);
        dialog.accept();
        const std::string where = std::string(row.typed) + " with " + std::to_string(row.present.size()) + " file(s)";
        EXPECT_EQ(asked.size(), row.asked ? 1 : 0) << where << ": " << asked.join(QLatin1Char('|')).toStdString();
        if (row.asked && !asked.isEmpty()) {
            EXPECT_TRUE(asked[0].startsWith(QStringLiteral("take.wav "))) << where << ": " << asked[0].toStdString();
        }
        if (row.answer == QMessageBox::No) {
            EXPECT_TRUE(dialog.isVisible()) << where;
            EXPECT_TRUE(dialog.ChosenName().isEmpty()) << where;
        } else {
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << where;
            EXPECT_EQ(dialog.ChosenName(), Q(dir / "take.wav")) << where;
        }
    }
}

}  // namespace
}  // namespace quillon
