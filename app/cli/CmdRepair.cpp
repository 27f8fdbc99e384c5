// quillon-cli repair: the start-up repair for any WAV file named, e.g. recordings made with
// --out outside the program folder that a crash or power cut left unfinished.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "app/cli/CliCommands.h"
#include "encoder/WavRepair.h"

namespace quillon::cli {

int runRepair(const Args& args)
{
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? std::cerr : std::cout)
            << "Usage: quillon-cli repair FILE...\n"
               "Mends WAV files whose recording did not end cleanly: the header's sizes are set from the\n"
               "file's length and a partial last frame is cut off. A file that is already consistent is\n"
               "not changed; a file that is not a WAV file is refused.\n";
        return args.empty() ? 2 : 0;
    }
    int code = 0;
    for (const std::string& name : args) {
        const std::filesystem::path file(name);
        std::error_code ec;
        const auto before = std::filesystem::file_size(file, ec);
        WavRepairPlan plan;
        const char* problem = nullptr;
        switch (repairWavFile(file, &plan)) {
            case WavRepairOutcome::Repaired:
                std::cout << name << ": repaired: " << plan.dataSize << " bytes of audio";
                if (!ec && plan.newLength < before) {
                    std::cout << ", " << before - plan.newLength
                              << (plan.tornMarkers ? " bytes of a torn marker chunk" : " bytes of a partial frame")
                              << " cut off";
                }
                if (plan.markersRestored > 0) {
                    std::cout << ", " << plan.markersRestored << " markers put back";
                }
                std::cout << '\n';
                continue;
            case WavRepairOutcome::Intact:
                std::cout << name << ": intact, nothing changed\n";
                continue;
            case WavRepairOutcome::NotWav:
                problem = "not a WAV file, left alone";
                break;
            case WavRepairOutcome::Unrecoverable:
                problem = "no format or data chunk to mend from, left alone";
                break;
            case WavRepairOutcome::TooLarge:
                problem = "too long for a WAV header's sizes, left alone";
                break;
            case WavRepairOutcome::Busy:
                problem = "a recording is still writing it, left alone";
                break;
            case WavRepairOutcome::Failed:
                problem = "could not be written, left as it was";
                break;
            case WavRepairOutcome::Unreadable:
                problem = "cannot be opened (missing, unreadable or a symbolic link)";
                break;
        }
        std::cerr << "quillon-cli repair: " << name << ": " << problem << '\n';
        code = 1;
    }
    return code;
}

}  // namespace quillon::cli
