#pragma once

#include <string>
#include <vector>

namespace quillon::cli {

// Each sub-command gets the arguments after its name and returns the exit code.
using Args = std::vector<std::string>;

// quillon-cli process IN.wav OUT.wav [options]: effects chain + encoder over a WAV file.
int runProcess(const Args& args);

// quillon-cli formats [--rate R] [--channels C]: the output formats reachable from that capture.
int runFormats(const Args& args);

// quillon-cli record [options]: the record button's sequences without the window.
int runRecord(const Args& args);

// quillon-cli repair FILE...: mends WAV files whose recording did not end cleanly.
int runRepair(const Args& args);

// quillon-cli devices: the capture devices with their recording lines and volume.
int runDevices(const Args& args);

// quillon-cli ctl start|stop|toggle|mark|status [--home DIR]: the running window from outside.
int runCtl(const Args& args);

}  // namespace quillon::cli
