#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/WaveFormat.h"
#include "encoder/acm/AcmCodec.h"

namespace quillon::acm {

// Result codes, numbered as the encoder's callers know them from the platform's ACM.
using MMRESULT = std::uint32_t;
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_BUSY = 513;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

inline constexpr std::uint32_t ACM_STREAMSIZEF_SOURCE = 0x0;
inline constexpr std::uint32_t ACM_STREAMSIZEF_DESTINATION = 0x1;
inline constexpr std::uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x4;
inline constexpr std::uint32_t ACM_STREAMCONVERTF_START = 0x10;
inline constexpr std::uint32_t ACM_STREAMCONVERTF_END = 0x20;

inline constexpr std::uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr std::uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

inline constexpr std::uint32_t kAcmStreamHeaderSize = 84;

// Sample rates a stream accepts on either side.
inline constexpr std::uint32_t kAcmMinRate = 1;
inline constexpr std::uint32_t kAcmMaxRate = 384000;

// The caller's description of one conversion: where the source is and how much of it, where
// the output goes and how much room there is; the stream fills in the *Used counts.
struct AcmStreamHeader {
    std::uint32_t cbStruct = kAcmStreamHeaderSize;
    std::uint32_t fdwStatus = 0;
    std::uint8_t* pbSrc = nullptr;
    std::uint32_t cbSrcLength = 0;
    std::uint32_t cbSrcLengthUsed = 0;
    std::uint8_t* pbDst = nullptr;
    std::uint32_t cbDstLength = 0;
    std::uint32_t cbDstLengthUsed = 0;
    // Lengths at prepare time; the header must carry them again when it is unprepared.
    std::uint32_t cbPreparedSrcLength = 0;
    std::uint32_t cbPreparedDstLength = 0;
};

// An open conversion stream from 16-bit PCM to one output format.
class AcmStream {
public:
    AcmStream(WaveFormatEx source, std::vector<std::uint8_t> destination, std::unique_ptr<AcmCodec> codec);
    ~AcmStream();
    AcmStream(const AcmStream&) = delete;
    AcmStream& operator=(const AcmStream&) = delete;

    [[nodiscard]] const WaveFormatEx& source() const { return source_; }
    [[nodiscard]] std::span<const std::uint8_t> destination() const { return destination_; }
    [[nodiscard]] AcmCodec& codec() { return *codec_; }
    [[nodiscard]] const AcmCodec& codec() const { return *codec_; }
    [[nodiscard]] int preparedHeaders() const { return preparedHeaders_; }

private:
    friend MMRESULT acmStreamPrepareHeader(AcmStream*, AcmStreamHeader&, std::uint32_t);
    friend MMRESULT acmStreamUnprepareHeader(AcmStream*, AcmStreamHeader&, std::uint32_t);

    int preparedHeaders_ = 0;
    WaveFormatEx source_;
    std::vector<std::uint8_t> destination_;
    std::unique_ptr<AcmCodec> codec_;
};

using AcmStreamHandle = std::unique_ptr<AcmStream>;

// Opens a stream from `source` (16-bit PCM, 1 or 2 channels) to `destination` (WAVEFORMATEX
// + cbSize extra bytes). ACMERR_NOTPOSSIBLE when no driver produces that conversion.
MMRESULT acmStreamOpen(AcmStreamHandle& stream, std::span<const std::uint8_t> source,
                       std::span<const std::uint8_t> destination, std::uint32_t flags);
// ACM_STREAMSIZEF_SOURCE: the destination room needed for `input` source bytes;
// ACM_STREAMSIZEF_DESTINATION: the source bytes whose output fits in `input`.
MMRESULT acmStreamSize(const AcmStream* stream, std::uint32_t input, std::uint32_t& output, std::uint32_t flags);
MMRESULT acmStreamPrepareHeader(AcmStream* stream, AcmStreamHeader& header, std::uint32_t flags);
// Converts cbSrcLength bytes at pbSrc into pbDst. Only whole source units are used; with
// ACM_STREAMCONVERTF_END the codec's held-back output is flushed too, as much as fits:
// repeat END with cbSrcLength 0 until cbDstLengthUsed is 0 to get all of it.
MMRESULT acmStreamConvert(AcmStream* stream, AcmStreamHeader& header, std::uint32_t flags);
MMRESULT acmStreamUnprepareHeader(AcmStream* stream, AcmStreamHeader& header, std::uint32_t flags);
// Streams alive in this process (a closed or failed open leaves none behind).
int acmOpenStreamCount();
// Closes and frees the stream; ACMERR_BUSY while a header is still prepared.
MMRESULT acmStreamClose(AcmStreamHandle& stream, std::uint32_t flags);
// The unit the source is consumed in: a conversion leaves fewer than this many bytes over.
std::uint32_t acmStreamSourceBlockAlign(const AcmStream* stream);

// Format tags reachable from a 16-bit PCM source of `rate` Hz and `channels` channels.
std::vector<AcmFormatTag> acmFormatTagEnum(std::int32_t rate, std::int16_t channels);
// Output formats reachable from that source; all tags, or only `tag` when it is non-zero.
std::vector<AcmFormatDetails> acmFormatEnum(std::int32_t rate, std::int16_t channels, std::uint16_t tag = 0);

// The 16-bit PCM capture format a stream accepts as source.
bool acmIsSupportedSource(const WaveFormatEx& source);

}  // namespace quillon::acm
