#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/MessageBoxes.h"

namespace quillon::test {

// Collects the messages the code under test shows, instead of opening boxes.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    struct Message {
        std::string title;
        std::string text;
        MessageIcon icon;
    };

    RecordingMessageBoxes() { setMessageBoxes(this); }
    ~RecordingMessageBoxes() override { setMessageBoxes(nullptr); }
    RecordingMessageBoxes(const RecordingMessageBoxes&) = delete;
    RecordingMessageBoxes& operator=(const RecordingMessageBoxes&) = delete;

    void show(const std::string& title, const std::string& text, MessageIcon icon) override
    {
        messages.push_back({title, text, icon});
    }

    std::vector<Message> messages;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs a program with arguments (no shell involved) and collects its output.
CommandResult runProgram(const std::vector<std::string>& argv);

// True when `program` is found on PATH.
bool haveProgram(const std::string& program);

std::vector<unsigned char> readFileBytes(const std::filesystem::path& file);
std::string readFileText(const std::filesystem::path& file);

// Replaces the file's content (creates it when missing).
void writeFile(const std::filesystem::path& file, std::string_view content);
void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& content);

}  // namespace quillon::test
