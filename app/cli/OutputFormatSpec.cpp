#include "app/cli/OutputFormatSpec.h"

#include <vector>

#include "app/cli/CliParse.h"
#include "encoder/acm/AcmPcm.h"
#include "encoder/acm/AcmStream.h"
#include "encoder/codecs/CodecDrivers.h"
#include "encoder/codecs/FormatRecord.h"

namespace quillon::cli {

namespace {

struct RateChannels {
    std::uint32_t rate;
    std::uint16_t channels;
};

// RATE and CHANNELS, the fields every family starts with.
std::optional<RateChannels> parseRateChannels(const std::vector<std::string>& fields, std::string& error)
{
    const auto rate = parseInteger(fields[0]);
    if (!rate || *rate < acm::kAcmMinRate || *rate > acm::kAcmMaxRate) {
        error = "rate '" + fields[0] + "' is not a whole number from 1 to " + std::to_string(acm::kAcmMaxRate);
        return std::nullopt;
    }
    const auto channels = parseInteger(fields[1]);
    if (!channels || (*channels != 1 && *channels != 2)) {
        error = "channels '" + fields[1] + "' must be 1 or 2";
        return std::nullopt;
    }
    return RateChannels{static_cast<std::uint32_t>(*rate), static_cast<std::uint16_t>(*channels)};
}

// pcm:RATE:CHANNELS:BITS with BITS 8, 16, 24, 32 or f32.
std::optional<ChosenFormat> parsePcm(const std::vector<std::string>& fields, std::string& error)
{
    if (fields.size() != 3) {
        error = "pcm wants pcm:RATE:CHANNELS:BITS";
        return std::nullopt;
    }
    const auto shape = parseRateChannels(fields, error);
    if (!shape) {
        return std::nullopt;
    }
    const bool isFloat = fields[2] == "f32";
    const auto bits = isFloat ? std::optional<std::int64_t>(32) : parseInteger(fields[2]);
    if (!bits || (*bits != 8 && *bits != 16 && *bits != 24 && *bits != 32)) {
        error = "bits '" + fields[2] + "' must be 8, 16, 24, 32 or f32";
        return std::nullopt;
    }
    const auto b = static_cast<std::uint16_t>(*bits);
    return ChosenFormat{acm::acmPcmFormat(shape->rate, shape->channels, b, isFloat), isFloat ? "IEEE Float" : "PCM",
                        acm::acmPcmDescription(shape->rate, b, shape->channels)};
}

// NAME:RATE:CHANNELS for a compressed format whose codec fixes the bit depth.
template <std::uint16_t Tag>
std::optional<ChosenFormat> parseCodec(const std::vector<std::string>& fields, std::string& error)
{
    if (fields.size() != 2) {
        error = "wants NAME:RATE:CHANNELS";
        return std::nullopt;
    }
    const auto shape = parseRateChannels(fields, error);
    if (!shape) {
        return std::nullopt;
    }
    auto details = acm::acmCodecFormat(Tag, shape->rate, shape->channels);
    if (!details) {
        error = "the codec does not take " + fields[0] + " Hz with " + fields[1] + " channel(s)";
        return std::nullopt;
    }
    return ChosenFormat{std::move(details->format), details->tagName, details->description};
}

struct FormatParser {
    const char* name;
    std::uint16_t tag;
    std::optional<ChosenFormat> (*parse)(const std::vector<std::string>& fields, std::string& error);
};

// One entry per --format family.
constexpr FormatParser kParsers[] = {
    {"pcm", WAVE_FORMAT_PCM, &parsePcm},
    {"alaw", WAVE_FORMAT_ALAW, &parseCodec<WAVE_FORMAT_ALAW>},
    {"ulaw", WAVE_FORMAT_MULAW, &parseCodec<WAVE_FORMAT_MULAW>},
    {"ima-adpcm", WAVE_FORMAT_IMA_ADPCM, &parseCodec<WAVE_FORMAT_IMA_ADPCM>},
    {"ms-adpcm", WAVE_FORMAT_ADPCM, &parseCodec<WAVE_FORMAT_ADPCM>},
    {"gsm610", WAVE_FORMAT_GSM610, &parseCodec<WAVE_FORMAT_GSM610>},
};

}  // namespace

std::optional<ChosenFormat> parseOutputFormat(const std::string& spec, std::int32_t sourceRate,
                                              std::int16_t sourceChannels, std::string& error)
{
    auto fields = splitAt(spec, ':');
    const std::string family = fields.front();
    fields.erase(fields.begin());
    for (const auto& parser : kParsers) {
        if (family != parser.name) {
            continue;
        }
        std::string why;
        auto format = parser.parse(fields, why);
        if (!format) {
            error = "--format ";
            error += spec;
            error += ": ";
            error += why;
            return std::nullopt;
        }
        // Refuse here what the encoder could not open, before any output file is touched.
        acm::AcmStreamHandle stream;
        const auto source = MakePCMFormat(sourceRate, sourceChannels, 16).bytes();
        if (acm::acmStreamOpen(stream, source, format->format, 0) != acm::MMSYSERR_NOERROR) {
            error = "--format " + spec + ": no conversion from the input's format";
            return std::nullopt;
        }
        acm::acmStreamClose(stream, 0);
        return format;
    }
    std::string known;
    for (const auto& parser : kParsers) {
        known += known.empty() ? "" : ", ";
        known += parser.name;
    }
    error = "--format " + spec + ": unknown format family '" + family + "' (known: " + known + ")";
    return std::nullopt;
}

std::string formatSpelling(std::span<const std::uint8_t> format)
{
    const auto f = WaveFormatEx::parse(format);
    if (!f) {
        return "";
    }
    const std::string shape = std::to_string(f->nSamplesPerSec) + ":" + std::to_string(f->nChannels);
    if (f->wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        return "pcm:" + shape + ":f32";
    }
    if (f->wFormatTag == WAVE_FORMAT_PCM) {
        return "pcm:" + shape + ":" + std::to_string(f->wBitsPerSample);
    }
    for (const auto& parser : kParsers) {
        if (parser.tag == f->wFormatTag) {
            return std::string(parser.name) + ":" + shape;
        }
    }
    return "";
}

ChosenFormat defaultOutputFormat(std::int32_t sourceRate, std::int16_t sourceChannels)
{
    const auto rate = static_cast<std::uint32_t>(sourceRate);
    const auto channels = static_cast<std::uint16_t>(sourceChannels);
    return ChosenFormat{acm::acmPcmFormat(rate, channels, 16, false), "PCM",
                        acm::acmPcmDescription(rate, 16, channels)};
}

}  // namespace quillon::cli
