#include <gsm.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ReferenceDecoders.h"
#include "encoder/codecs/FormatRecord.h"
#include "encoder/codecs/GsmEncoder.h"

namespace quillon {
namespace {

std::vector<std::int16_t> decodeWav49(const std::vector<std::uint8_t>& data)
{
    std::unique_ptr<gsm_state, void (*)(gsm)> state(gsm_create(), gsm_destroy);
    int on = 1;
    gsm_option(state.get(), GSM_OPT_WAV49, &on);
    std::vector<std::int16_t> out;
    std::vector<std::uint8_t> block(65);
    gsm_signal pcm[160];
    for (std::size_t at = 0; at + 65 <= data.size(); at += 65) {
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), 65, block.begin());
        EXPECT_EQ(gsm_decode(state.get(), block.data(), pcm), 0);
        out.insert(out.end(), pcm, pcm + 160);
        EXPECT_EQ(gsm_decode(state.get(), block.data() + 33, pcm), 0);
        out.insert(out.end(), pcm, pcm + 160);
    }
    return out;
}

TEST(GsmEncoder, PacksTwoFramesPerBlockAndDecodesBack)
{
    GsmEncoder encoder;
    const auto tone = test::Tone(440.0, 0.0, 8000, 1, 320 * 25, 0.5);
    std::vector<std::uint8_t> out(25 * 65);
    ASSERT_EQ(encoder.encode(tone, out), out.size());
    const auto decoded = decodeWav49(out);
    ASSERT_EQ(decoded.size(), tone.size());
    // GSM 6.10 models the waveform only coarsely; on a steady tone it still keeps 10 dB after it settles.
    EXPECT_GE(test::SnrDb(tone, decoded, 320), 10.0);

    // reset() starts a new stream: the same input gives the same bytes again.
    encoder.reset();
    std::vector<std::uint8_t> again(out.size());
    encoder.encode(tone, again);
    EXPECT_EQ(again, out);
}

TEST(GsmFormat, RecordIsMono8000With65ByteBlocksOf320Samples)
{
    const std::vector<std::uint8_t> expected = {0x31, 0x00,              // GSM 6.10
                                                0x01, 0x00,              // mono
                                                0x40, 0x1F, 0x00, 0x00,  // 8000 Hz
                                                0x59, 0x06, 0x00, 0x00,  // 1625 bytes per second
                                                0x41, 0x00,              // 65-byte blocks
                                                0x00, 0x00,              // no meaningful bit depth
                                                0x02, 0x00,              // 2 extra bytes
                                                0x40, 0x01};             // 320 samples per block
    EXPECT_EQ(MakeGsm610Format(), expected);
    EXPECT_EQ(GsmEncoder().format(), expected);
}

}  // namespace
}  // namespace quillon
