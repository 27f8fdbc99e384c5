#include "encoder/acm/AcmStream.h"

#include <algorithm>
#include <utility>

namespace quillon::acm {

namespace {
int openStreams = 0;
}

AcmStream::AcmStream(WaveFormatEx source, std::vector<std::uint8_t> destination, std::unique_ptr<AcmCodec> codec)
    : source_(source), destination_(std::move(destination)), codec_(std::move(codec))
{
    ++openStreams;
}

AcmStream::~AcmStream()
{
    --openStreams;
}

int acmOpenStreamCount()
{
    return openStreams;
}

bool acmIsSupportedSource(const WaveFormatEx& source)
{
    return source.wFormatTag == WAVE_FORMAT_PCM && source.wBitsPerSample == 16 &&
           (source.nChannels == 1 || source.nChannels == 2) && source.nSamplesPerSec >= kAcmMinRate &&
           source.nSamplesPerSec <= kAcmMaxRate && source.nBlockAlign == source.nChannels * 2 &&
           source.nAvgBytesPerSec == source.nSamplesPerSec * source.nBlockAlign;
}

MMRESULT acmStreamOpen(AcmStreamHandle& stream, std::span<const std::uint8_t> source,
                       std::span<const std::uint8_t> destination, std::uint32_t flags)
{
    stream.reset();
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    const auto src = WaveFormatEx::parse(source);
    const auto dst = WaveFormatEx::parse(destination);
    if (!src || !dst || kWaveFormatExSize + dst->cbSize > destination.size()) {
        return MMSYSERR_INVALPARAM;
    }
    if (!acmIsSupportedSource(*src)) {
        return ACMERR_NOTPOSSIBLE;
    }
    const auto format = destination.first(kWaveFormatExSize + dst->cbSize);
    for (const auto& driver : acmDrivers()) {
        if (auto codec = driver->open(*src, format)) {
            stream = std::make_unique<AcmStream>(*src, std::vector<std::uint8_t>(format.begin(), format.end()),
                                                 std::move(codec));
            return MMSYSERR_NOERROR;
        }
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamSize(const AcmStream* stream, std::uint32_t input, std::uint32_t& output, std::uint32_t flags)
{
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (flags == ACM_STREAMSIZEF_SOURCE) {
        output = stream->codec().destinationSize(input);
    } else if (flags == ACM_STREAMSIZEF_DESTINATION) {
        output = stream->codec().sourceSize(input);
    } else {
        return MMSYSERR_INVALFLAG;
    }
    return output == 0 && input != 0 ? ACMERR_NOTPOSSIBLE : MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(AcmStream* stream, AcmStreamHeader& header, std::uint32_t flags)
{
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if (header.cbStruct < kAcmStreamHeaderSize || header.pbSrc == nullptr || header.pbDst == nullptr ||
        (header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) != 0) {
        return MMSYSERR_INVALPARAM;
    }
    header.fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    header.cbPreparedSrcLength = header.cbSrcLength;
    header.cbPreparedDstLength = header.cbDstLength;
    ++stream->preparedHeaders_;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(AcmStream* stream, AcmStreamHeader& header, std::uint32_t flags)
{
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    constexpr std::uint32_t known = ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
    if ((flags & ~known) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if ((header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    header.cbSrcLengthUsed = 0;
    header.cbDstLengthUsed = 0;
    header.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    if (header.cbSrcLength > header.cbPreparedSrcLength || header.cbDstLength > header.cbPreparedDstLength) {
        return MMSYSERR_INVALPARAM;
    }
    // Whole units only, with or without BLOCKALIGN: a PCM frame cannot be split and a block
    // codec needs its whole block; the rest stays with the caller. At the end the codec sees
    // the tail too, so a block codec can pad its last block.
    const bool end = (flags & ACM_STREAMCONVERTF_END) != 0;
    const std::uint32_t align = std::max<std::uint32_t>(1, stream->codec().sourceBlockAlign());
    const std::uint32_t usable = end ? header.cbSrcLength : header.cbSrcLength - header.cbSrcLength % align;
    const auto converted = stream->codec().convert(std::span<const std::uint8_t>(header.pbSrc, usable),
                                                   std::span<std::uint8_t>(header.pbDst, header.cbDstLength), end);
    if (!converted) {
        return ACMERR_NOTPOSSIBLE;
    }
    header.cbSrcLengthUsed = converted->sourceUsed;
    header.cbDstLengthUsed = converted->destinationUsed;
    header.fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(AcmStream* stream, AcmStreamHeader& header, std::uint32_t flags)
{
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if ((header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    if (header.cbSrcLength != header.cbPreparedSrcLength || header.cbDstLength != header.cbPreparedDstLength) {
        return MMSYSERR_INVALPARAM;
    }
    header.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    --stream->preparedHeaders_;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(AcmStreamHandle& stream, std::uint32_t flags)
{
    if (!stream) {
        return MMSYSERR_INVALHANDLE;
    }
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if (stream->preparedHeaders() != 0) {
        return ACMERR_BUSY;
    }
    stream.reset();
    return MMSYSERR_NOERROR;
}

std::uint32_t acmStreamSourceBlockAlign(const AcmStream* stream)
{
    return stream == nullptr ? 0 : std::max<std::uint32_t>(1, stream->codec().sourceBlockAlign());
}

std::vector<AcmFormatTag> acmFormatTagEnum(std::int32_t rate, std::int16_t channels)
{
    std::vector<AcmFormatTag> tags;
    const WaveFormatEx source = MakePCMFormat(rate, channels, 16);
    if (rate < 1 || channels < 1 || !acmIsSupportedSource(source)) {
        return tags;
    }
    for (const auto& driver : acmDrivers()) {
        const auto formats = driver->formats(source);
        for (const auto& tag : driver->formatTags()) {
            const bool reachable = std::any_of(formats.begin(), formats.end(),
                                               [&](const AcmFormatDetails& f) { return f.formatTag == tag.tag; });
            const bool listed =
                std::any_of(tags.begin(), tags.end(), [&](const AcmFormatTag& t) { return t.tag == tag.tag; });
            if (reachable && !listed) {
                tags.push_back(tag);
            }
        }
    }
    return tags;
}

std::vector<AcmFormatDetails> acmFormatEnum(std::int32_t rate, std::int16_t channels, std::uint16_t tag)
{
    std::vector<AcmFormatDetails> all;
    const WaveFormatEx source = MakePCMFormat(rate, channels, 16);
    if (rate < 1 || channels < 1 || !acmIsSupportedSource(source)) {
        return all;
    }
    for (const auto& driver : acmDrivers()) {
        for (auto& format : driver->formats(source)) {
            if (tag == 0 || format.formatTag == tag) {
                all.push_back(std::move(format));
            }
        }
    }
    return all;
}

}  // namespace quillon::acm
