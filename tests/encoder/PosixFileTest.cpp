// The encoder's output file: the position it keeps for itself must be the descriptor's.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "encoder/platform/PosixFile.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

TEST(PosixFile, PositionFollowsWritesSeeksAndTruncation)
{
    test::TempDir dir;
    const auto path = dir / "out.bin";
    PosixFile file = PosixFile::create(path.string());
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.position(), 0);
    const std::vector<std::uint8_t> bytes(1000, 7);
    EXPECT_EQ(file.write(bytes), 1000);
    EXPECT_EQ(file.write(std::span(bytes).first(24)), 24);
    EXPECT_EQ(file.position(), 1024);
    EXPECT_EQ(file.seek(10, PosixFile::SEEK_SET_), 10);
    EXPECT_EQ(file.position(), 10);
    EXPECT_EQ(file.write(std::span(bytes).first(4)), 4);
    EXPECT_EQ(file.position(), 14);
    EXPECT_EQ(file.seek(-4, PosixFile::SEEK_END_), 1020);
    EXPECT_EQ(file.position(), 1020);
    // A refused seek leaves the position where it was.
    EXPECT_EQ(file.seek(-5000, PosixFile::SEEK_CUR_), -1);
    EXPECT_EQ(file.position(), 1020);
    // Truncating does not move the position; writing there fills the gap with zeros.
    EXPECT_TRUE(file.truncate(100));
    EXPECT_EQ(file.position(), 1020);
    EXPECT_TRUE(file.writeAt(0, std::span(bytes).first(2)));
    EXPECT_EQ(file.position(), 1020);
    EXPECT_EQ(file.write(std::span(bytes).first(4)), 4);
    EXPECT_EQ(file.length(), 1024);
    EXPECT_EQ(file.seek(0, PosixFile::SEEK_CUR_), 1024);

    // Moved, the position goes along; closed, there is none.
    PosixFile moved = std::move(file);
    EXPECT_EQ(moved.position(), 1024);
    moved.close();
    EXPECT_EQ(moved.position(), -1);
    EXPECT_EQ(std::filesystem::file_size(path), 1024U);
}

TEST(PosixFile, DeviceKeepsTheKernelsPosition)
{
    // A device is written as it is and /dev/zero always reports position 0; the encoder's
    // 4 GiB limit is measured against that, not against what was written. (Not /dev/null:
    // another test locks that one while it writes.)
    PosixFile device = PosixFile::create("/dev/zero");
    ASSERT_TRUE(device.isOpen());
    const std::vector<std::uint8_t> bytes(4096, 1);
    EXPECT_EQ(device.write(bytes), 4096);
    EXPECT_EQ(device.position(), 0);
}

}  // namespace
}  // namespace quillon
