#include "recording/FileCounter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "recording/posix/SafeFiles.h"

namespace quillon {
namespace {

std::int16_t counterValue = 1;

QString& lastFile()
{
    static QString path;
    return path;
}

QString settingsPath(const QString& programFolder)
{
    return programFolder + QStringLiteral("/nu.ini");
}

}  // namespace

std::optional<std::int16_t> ParseCounter(std::string_view content)
{
    const auto end = content.find_first_of("\r\n");
    const std::string_view line = content.substr(0, end);
    std::size_t pos = 0;
    const bool negative = !line.empty() && line[0] == '-';
    if (negative) {
        pos = 1;
    }
    if (pos == line.size() || line.size() - pos > 6) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    for (; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (negative) {
        value = -value;
    }
    if (value < INT16_MIN || value > INT16_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(value);
}

std::string CounterFileContent(std::int16_t counter)
{
    return std::to_string(counter) + "\r\n";
}

QString AutoFileName(const QString& programFolder, std::int16_t counter)
{
    return programFolder + QStringLiteral("/file/录音") + QString::number(counter) + QStringLiteral(".wav");
}

bool FileIsFree(const QString& path)
{
    const QFileInfo info(path);
    return !info.exists() || (info.isFile() && info.size() == 0);
}

std::optional<std::int16_t> NextFreeCounter(const QString& programFolder, std::int16_t from)
{
    std::int16_t counter = from;
    for (int tries = 0; tries < 65536; ++tries) {
        const QString file = AutoFileName(programFolder, counter);
        // A recorder of another process may still hold its file empty for a moment.
        if (FileIsFree(file) && !LockedByAnother(QFile::encodeName(file).toStdString())) {
            return counter;
        }
        counter = static_cast<std::int16_t>(static_cast<std::uint16_t>(counter) + 1U);
    }
    return std::nullopt;
}

bool PrepareEmptyFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // ReadWrite creates a missing file and never truncates an existing one.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return QFileInfo::exists(path);
    }
    file.close();
    return true;
}

std::int16_t LoadCounter(const QString& programFolder)
{
    QFile file(settingsPath(programFolder));
    std::optional<std::int16_t> stored;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(64);
        stored = ParseCounter(std::string_view(head.constData(), static_cast<std::size_t>(head.size())));
    }
    if (!stored) {
        const std::int16_t counter = NextFreeCounter(programFolder, 1).value_or(1);
        SaveCounter(programFolder, counter);
        return counter;
    }
    // With every number taken the start of a recording refuses; nothing to pick here.
    return NextFreeCounter(programFolder, *stored).value_or(*stored);
}

bool SaveCounter(const QString& programFolder, std::int16_t counter, std::string* reason)
{
    const QString path = settingsPath(programFolder);
    const QFileInfo info(path);
    std::optional<std::string> error;
    // Replacing a dangling link would hide the user's mistake; its target is never created.
    if (info.isSymLink() && !info.exists()) {
        error = "nu.ini 是指向不存在的文件的链接";
    } else {
        error = ReplaceFileAtomically(QFile::encodeName(path).toStdString(), CounterFileContent(counter));
    }
    if (error && reason != nullptr) {
        *reason = *error;
    }
    return !error;
}

std::int16_t intFileCounter()
{
    return counterValue;
}

void intFileCounter(std::int16_t value)
{
    counterValue = value;
}

const QString& varLastFile()
{
    return lastFile();
}

void varLastFile(const QString& path)
{
    lastFile() = path;
}

}  // namespace quillon
