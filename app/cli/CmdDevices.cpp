// quillon-cli devices: the capture devices of the sound server, each with its
// recording lines (the selected one marked) and its recording volume.
#include <QCoreApplication>

#include <iostream>
#include <string>

#include "app/cli/CliCommands.h"
#include "capture/CaptureBackend.h"
#include "capture/WaveInRecorder.h"

namespace quillon::cli {

namespace {

constexpr const char* kUsage =
    "Usage: quillon-cli devices\n"
    "Lists the capture devices as INDEX: NAME; under each its recording lines\n"
    "(\"  line INDEX: NAME\", the selected one marked with *) and \"  volume: VALUE\" (0-65535).\n";

}  // namespace

int runDevices(const Args& args)
{
    if (!args.empty()) {
        const bool help = args[0] == "--help" || args[0] == "-h";
        (help ? std::cout : std::cerr) << kUsage;
        return help ? 0 : 2;
    }
    int argc = 1;
    char name[] = "quillon-cli";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);

    const CaptureBackend backend = pulseCaptureBackend();
    const std::string reason = backend.waveIn->unavailableReason();
    if (!reason.empty()) {
        std::cerr << "quillon-cli devices: cannot reach the sound server: " << reason << '\n';
        return 1;
    }
    WaveInRecorder recorder(backend);
    const std::int32_t count = recorder.DeviceCount();
    if (count == 0) {
        std::cerr << "quillon-cli devices: the sound server has no capture devices\n";
    }
    for (std::int32_t i = 0; i < count; ++i) {
        std::cout << i << ": " << recorder.DeviceName(i) << '\n';
        if (!recorder.SelectDevice(i)) {
            continue;
        }
        const std::int32_t selected = recorder.SelectedMixerLine();
        for (std::int32_t line = 0; line < recorder.MixerLineCount(); ++line) {
            std::cout << "  line " << line << ": " << recorder.MixerLineName(line) << (line == selected ? " *" : "")
                      << '\n';
        }
        std::cout << "  volume: " << recorder.MixerLineVolume() << '\n';
    }
    return 0;
}

}  // namespace quillon::cli
