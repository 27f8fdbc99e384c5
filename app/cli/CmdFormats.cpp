// quillon-cli formats: the output formats the encoder can write from a capture format, as the
// format chooser lists them, each with the --format value that selects it.
#include <iostream>
#include <optional>
#include <string>

#include "app/cli/CliCommands.h"
#include "app/cli/CliParse.h"
#include "app/cli/OutputFormatSpec.h"
#include "encoder/acm/AcmStream.h"

namespace quillon::cli {

namespace {

constexpr const char* kUsage =
    "Usage: quillon-cli formats [--rate R] [--channels C]\n"
    "Lists the output formats reachable from 16-bit PCM capture at R Hz (default 44100) with C\n"
    "channels (1 or 2, default 2), one a line: TAG - DESCRIPTION, then the --format value that\n"
    "selects it in quillon-cli process and record.\n";

int fail(const std::string& message)
{
    std::cerr << "quillon-cli formats: " << message << '\n';
    return 2;
}

}  // namespace

int runFormats(const Args& args)
{
    std::int64_t rate = 44100;
    std::int64_t channels = 2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (name != "--rate" && name != "--channels") {
            return fail("unknown option '" + name + "'");
        }
        if (i + 1 >= args.size()) {
            return fail(name + " needs a value");
        }
        const auto value = parseInteger(args[++i]);
        if (name == "--rate") {
            if (!value || *value < acm::kAcmMinRate || *value > acm::kAcmMaxRate) {
                return fail("--rate '" + args[i] + "' is not a whole number from 1 to " +
                            std::to_string(acm::kAcmMaxRate));
            }
            rate = *value;
        } else {
            if (!value || (*value != 1 && *value != 2)) {
                return fail("--channels '" + args[i] + "' must be 1 or 2");
            }
            channels = *value;
        }
    }
    for (const auto& details :
         acm::acmFormatEnum(static_cast<std::int32_t>(rate), static_cast<std::int16_t>(channels))) {
        std::cout << details.tagName << " - " << details.description;
        const std::string spelling = formatSpelling(details.format);
        if (!spelling.empty()) {
            std::cout << "\t--format " << spelling;
        }
        std::cout << '\n';
    }
    return 0;
}

}  // namespace quillon::cli
