#include <csignal>
#include <cstring>
#include <iostream>
#include <string_view>

#include "app/cli/CliCommands.h"

namespace {

using quillon::cli::Args;

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(const Args&);
};

// Sub-commands, in the order `--help` lists them.
constexpr Command commands[] = {
    {"record", "record from a sound source into a WAV file, as the window's record button does",
     &quillon::cli::runRecord},
    {"process", "run a WAV file through the effects chain and the encoder", &quillon::cli::runProcess},
    {"formats", "list the output formats reachable from a capture format", &quillon::cli::runFormats},
    {"devices", "list the capture devices with their recording lines and volume", &quillon::cli::runDevices},
    {"repair", "mend WAV files whose recording did not end cleanly (a crash, a power cut)", &quillon::cli::runRepair},
    {"ctl", "start, stop or mark the running window's recording, or print its state", &quillon::cli::runCtl},
};

void printUsage(std::ostream& out)
{
    out << "Usage: quillon-cli COMMAND [OPTIONS]\n\nCommands:\n";
    for (const auto& command : commands) {
        if (command.run != nullptr) {
            out << "  " << command.name << "  " << command.summary << '\n';
        }
    }
    out << "\nquillon-cli COMMAND --help shows a command's options.\n";
}

}  // namespace

int main(int argc, char** argv)
{
    // A file-size limit must end a recording with a write error, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << "quillon-cli 3.91\n";
        return 0;
    }
    const std::string_view name = argv[1];
    for (const auto& command : commands) {
        if (command.run != nullptr && command.name == name) {
            return command.run(Args(argv + 2, argv + argc));
        }
    }
    std::cerr << "quillon-cli: unknown command '" << name << "'\n";
    printUsage(std::cerr);
    return 2;
}
