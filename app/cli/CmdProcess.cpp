// quillon-cli process: runs a WAV file through the effects chain and the encoder block by block,
// the way a recording passes capture buffers through them.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/CliCommands.h"
#include "app/cli/CliParse.h"
#include "app/cli/EffectOptions.h"
#include "app/cli/OutputFormatSpec.h"
#include "common/QuillonError.h"
#include "effects/clsDSP.h"
#include "encoder/EncoderWAV.h"
#include "encoder/WavReader.h"
#include "recording/posix/SafeFiles.h"

namespace quillon::cli {

namespace {

constexpr const char* kUsageHead =
    "Usage: quillon-cli process IN.wav OUT.wav [OPTIONS]\n"
    "Runs a 16-bit PCM WAV file (mono or stereo, 1 to 96000 Hz) through the effects chain and\n"
    "writes it through the encoder, in blocks as a recording would.\n"
    "\n"
    "";
constexpr const char* kUsageTail =
    "  --block-bytes N         bytes per block, even (default 10240, a capture buffer)\n";

constexpr std::int64_t kMaxBlockBytes = 64 * 1024 * 1024;

// A bad argument: the one line to show, and the exit code.
struct Failure {
    std::string message;
    int exitCode;
};

struct Options {
    std::string input;
    std::string output;
    EffectOptions fx;
    std::int64_t blockBytes = 10240;
};

std::optional<Failure> parseArgs(const Args& args, Options& options)
{
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (name.rfind("--", 0) != 0 || name == "--") {
            positional.push_back(name);
            continue;
        }
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (value) {
                return value;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        const bool known = isEffectOption(name) || name == "--block-bytes";
        if (!known) {
            return Failure{"unknown option " + name + " (see quillon-cli process --help)", 2};
        }
        const auto text = takeValue();
        if (!text) {
            return Failure{name + " needs a value", 2};
        }
        if (isEffectOption(name)) {
            if (auto complaint = takeEffectOption(name, *text, options.fx)) {
                return Failure{*complaint, 2};
            }
        } else if (name == "--block-bytes") {
            const auto v = parseInteger(*text);
            if (!v || *v < 2 || *v > kMaxBlockBytes || *v % 2 != 0) {
                return Failure{"--block-bytes: '" + *text + "' is not an even number of bytes from 2 to " +
                                   std::to_string(kMaxBlockBytes),
                               2};
            }
            options.blockBytes = *v;
        }
    }
    if (positional.size() != 2) {
        return Failure{"process wants IN.wav and OUT.wav (see quillon-cli process --help)", 2};
    }
    options.input = positional[0];
    options.output = positional[1];
    return std::nullopt;
}

// Applies the options to the chain; the chain's own range checks raise QuillonError.
void configureChain(clsDSP& dsp, std::int32_t sampleRate, std::int16_t channels, const Options& options)
{
    dsp.samplerate(sampleRate);
    dsp.Channels(channels);
    configureEffects(dsp, options.fx);
}

int fail(const std::string& message, int code)
{
    std::cerr << "quillon-cli process: " << message << '\n';
    return code;
}

int process(const Args& args)
{
    Options options;
    if (const auto failure = parseArgs(args, options)) {
        return fail(failure->message, failure->exitCode);
    }

    // Everything is checked before the output file is created or truncated.
    std::string readError;
    auto reader = WavFileReader::open(options.input, readError);
    if (!reader) {
        return fail(options.input + ": " + readError, 1);
    }
    const std::int32_t sampleRate = reader->sampleRate();
    const std::int16_t channels = reader->channels();

    clsDSP dsp;
    try {
        configureChain(dsp, sampleRate, channels, options);
    } catch (const QuillonError& e) {
        return fail("effect settings refused: " + std::string(e.what()), 2);
    }

    std::string formatError;
    const auto format = options.fx.format ? parseOutputFormat(*options.fx.format, sampleRate, channels, formatError)
                                          : std::optional<ChosenFormat>(defaultOutputFormat(sampleRate, channels));
    if (!format) {
        return fail(formatError, 2);
    }

    // Writing into the file being read would empty it before a sample is read.
    if (SameFile(options.input, options.output)) {
        return fail("'" + options.output + "' is the input file; name another output", 2);
    }
    // The audio goes to a temporary file that replaces the output only when the run succeeded.
    std::string stageError;
    auto staged = StagedOutput::create(options.output, stageError);
    if (!staged) {
        return fail("cannot create '" + options.output + "': " + stageError, 1);
    }

    EncoderWAV encoder;
    encoder.SetFormat(format->format.data(), static_cast<std::int32_t>(format->format.size()), format->description,
                      format->tagName);
    const std::int32_t init = encoder.Encoder_EncoderInit(sampleRate, channels, staged->path());
    if (init == 2) {
        return fail("cannot create '" + options.output + "'", 1);
    }
    if (init != 0) {
        return fail(
            "cannot convert to " + format->tagName + " " + format->description + " (code " + std::to_string(init) + ")",
            1);
    }

    // The effects run block by block; the file is read, and the encoder fed, a batch of whole
    // blocks at a time (up to a second, the most the encoder takes per call), which saves
    // system calls and gives the same file. A longer block goes to the encoder in pieces.
    const auto maxPiece = static_cast<std::size_t>(encoder.Encoder_EncoderMetrics(1));
    const std::size_t blockSamples = static_cast<std::size_t>(options.blockBytes) / 2;
    const std::size_t blocksPerBatch = std::max<std::size_t>(1, maxPiece / 2 / blockSamples);
    std::vector<std::int16_t> intSamples(blockSamples * blocksPerBatch);
    while (reader->samplesLeft() > 0) {
        const std::size_t count = reader->read(intSamples);
        if (reader->failed()) {
            encoder.Encoder_EncoderClose();
            return fail("cannot read '" + options.input + "' to its end", 1);
        }
        for (std::size_t first = 0; first < count; first += blockSamples) {
            dsp.ProcessSamples(
                std::span<std::int16_t>(intSamples.data() + first, std::min(blockSamples, count - first)));
        }

        // The encoder takes little-endian bytes, which the samples in memory already are.
        static_assert(std::endian::native == std::endian::little);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(intSamples.data());
        const std::size_t length = count * 2;
        for (std::size_t off = 0; off < length; off += maxPiece) {
            const auto piece = static_cast<std::int32_t>(std::min(maxPiece, length - off));
            std::int32_t used = 0;
            const std::int32_t result = encoder.Encoder_Encode(bytes + off, piece, used);
            if (result == 10) {
                encoder.Encoder_EncoderClose();
                return fail("write error on '" + options.output + "' (no disk space left?)", 1);
            }
            if (result != 0) {
                encoder.Encoder_EncoderClose();
                return fail("conversion failed (code " + std::to_string(result) + ")", 1);
            }
        }
    }
    if (encoder.Encoder_EncoderClose() != 0) {
        return fail("cannot finish '" + options.output + "'", 1);
    }
    if (const auto error = staged->commit()) {
        return fail("cannot replace '" + options.output + "': " + *error, 1);
    }
    return 0;
}

}  // namespace

int runProcess(const Args& args)
{
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        std::cout << kUsageHead << kEffectOptionsUsage << kUsageTail;
        return 0;
    }
    try {
        return process(args);
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
}

}  // namespace quillon::cli
