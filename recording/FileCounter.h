#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

namespace quillon {

// nu.ini holds one line: the counter in decimal, then CR LF. Returns the counter
// when the first line is exactly an optional minus sign and digits within the
// 16-bit range; nothing otherwise. Pure, so it can be fuzzed.
std::optional<std::int16_t> ParseCounter(std::string_view content);

// The file's content for `counter`: "41\r\n".
std::string CounterFileContent(std::int16_t counter);

// <folder>/file/录音<counter>.wav
QString AutoFileName(const QString& programFolder, std::int16_t counter);

// A file is free for the next recording when it does not exist or is empty.
bool FileIsFree(const QString& path);

// `from`, or the next counter (16-bit, wrapping) whose automatic file is free and not being
// written by another recorder, so that numbering never overwrites a recording. Nothing when
// every number is taken.
std::optional<std::int16_t> NextFreeCounter(const QString& programFolder, std::int16_t from);

// Creates `path` empty when it does not exist; an existing file keeps its
// contents. Creates the folder too. True when the file exists afterwards.
bool PrepareEmptyFile(const QString& path);

// Reads nu.ini. A missing, empty, malformed or out-of-range file gives the
// first free counter from 1, and the file is rewritten with it. A valid counter
// whose file holds a recording moves on to the next free one.
std::int16_t LoadCounter(const QString& programFolder);

// Replaces nu.ini atomically (temporary file synced, then renamed), so a failure keeps the
// old file. A link named nu.ini is replaced by a regular file, never written through; a
// dangling one is refused. False on failure, with the reason in `reason` when given.
bool SaveCounter(const QString& programFolder, std::int16_t counter, std::string* reason = nullptr);

// Program-wide: the number of the current automatic output file and the file
// recorded last (empty until the first stop), shared with the other windows.
std::int16_t intFileCounter();
void intFileCounter(std::int16_t value);
const QString& varLastFile();
void varLastFile(const QString& path);

}  // namespace quillon
