// quillon-cli record: the window's start sequence, GotData handling and stop
// sequence without the window, for scripts and machines without a screen.
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

#include "app/cli/CliCommands.h"
#include "app/cli/EffectOptions.h"
#include "app/cli/OutputFormatSpec.h"
#include "app/cli/posix/StopSignals.h"
#include "common/MessageBoxes.h"
#include "common/QuillonError.h"
#include "encoder/WavRepair.h"
#include "recording/ClockTime.h"
#include "recording/DeliveryPacing.h"
#include "recording/FileCounter.h"
#include "recording/Language.h"
#include "recording/PathBytes.h"
#include "recording/ProgramFolder.h"
#include "recording/RealPorts.h"
#include "recording/RecordingControl.h"
#include "ui/platform/SleepInhibitor.h"

namespace quillon::cli {
namespace {

// Beyond one hand-over's duration, for the server's latency in sending it.
constexpr int kTailMarginMs = 150;
// --seconds: one millisecond up to what the recorded time can count (about 24 days).
constexpr double kMinSeconds = 0.001;
constexpr double kMaxSeconds = 2000000;

void printRecordUsage(std::ostream& out)
{
    out << "Usage: quillon-cli record [--device INDEX] [--line INDEX] [--volume 0..65535] [--rate R]\n"
           "                          [--channels 1|2] [--seconds S] [--out FILE] [--home DIR] [--repeat N]\n"
           "                          [OPTIONS]\n"
           "Records from the default source (or device INDEX, see `quillon-cli devices`) for S seconds\n"
           "(default 10) or until Ctrl+C, into FILE or the next numbered file of the program folder.\n"
           "--repeat N makes N such recordings one after another in the same process.\n"
           "\n"
           "Hands-free:\n"
           "  --start-above DBFS        arm: record only once the sound stays above DBFS (-90 to -1) for 50 ms\n"
           "  --pre-roll S              with it, keep S seconds before the sound (default 0.5, at most 10)\n"
           "  --stop-after-silence S    end the take after S seconds under the trigger level minus 3 dB\n"
           "  --split-on-silence        then arm again: each take goes to the next file\n"
           "  --start-at HH:MM[:SS]     start at the next such time of day (local time)\n"
           "  --stop-at HH:MM[:SS]      stop at the next such time after the start\n"
           "With --start-above, --seconds bounds the whole session, waiting included; with --stop-at or\n"
           "--start-above and no --seconds, there is no bound of 10 seconds.\n"
           "\n"
        << kEffectOptionsUsage;
}

std::optional<long> integerArg(const std::string& text, long low, long high)
{
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

struct RecordOptions {
    std::optional<long> device;
    std::optional<long> line;
    std::optional<long> volume;
    std::string rate = "44100";
    long channels = 2;
    double seconds = 10;
    std::string out;
    std::string home;
    long repeat = 1;
    EffectOptions fx;
    bool secondsGiven = false;
    std::optional<SoundTriggerSettings> trigger;
    std::optional<double> preRoll;
    std::optional<double> stopAfterSilence;
    bool split = false;
    std::optional<QTime> startAt;
    std::optional<QTime> stopAt;
};

std::optional<double> decimalArg(const std::string& text, double low, double high)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= low && value <= high)) {
        return std::nullopt;
    }
    return value;
}

// The hands-free options only make sense together with the one that arms.
bool checkHandsFree(RecordOptions& options)
{
    if (!options.trigger) {
        if (options.preRoll || options.stopAfterSilence || options.split) {
            std::cerr << "quillon-cli record: --pre-roll, --stop-after-silence and --split-on-silence need "
                         "--start-above\n";
            return false;
        }
        return true;
    }
    if (options.repeat != 1) {
        std::cerr << "quillon-cli record: --repeat cannot be used with --start-above (use --split-on-silence)\n";
        return false;
    }
    if (options.split && !options.stopAfterSilence) {
        std::cerr << "quillon-cli record: --split-on-silence needs --stop-after-silence\n";
        return false;
    }
    options.trigger->preRollSeconds = options.preRoll.value_or(0.5);
    options.trigger->stopAfterSilenceSeconds = options.stopAfterSilence;
    options.trigger->splitOnSilence = options.split;
    return true;
}

// Returns false (after saying why) on a bad command line.
bool parseRecordOptions(const Args& args, RecordOptions& options, bool& help)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            help = true;
            return true;
        }
        if (name == "--split-on-silence") {
            options.split = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            std::cerr << "quillon-cli record: unknown option or missing value: " << name << '\n';
            return false;
        }
        const std::string& value = args[++i];
        if (isEffectOption(name)) {
            if (const auto complaint = takeEffectOption(name, value, options.fx)) {
                std::cerr << "quillon-cli record: " << *complaint << '\n';
                return false;
            }
            continue;
        }
        auto bad = [&] {
            std::cerr << "quillon-cli record: bad value for " << name << ": " << value << '\n';
            return false;
        };
        if (name == "--device") {
            options.device = integerArg(value, -1, 1 << 20);
            if (!options.device) {
                return bad();
            }
        } else if (name == "--line") {
            options.line = integerArg(value, 0, 1 << 20);
            if (!options.line) {
                return bad();
            }
        } else if (name == "--volume") {
            options.volume = integerArg(value, 0, 65535);
            if (!options.volume) {
                return bad();
            }
        } else if (name == "--rate") {
            options.rate = value;  // checked by the start sequence, like the window's box
        } else if (name == "--channels") {
            const auto channels = integerArg(value, 1, 2);
            if (!channels) {
                return bad();
            }
            options.channels = *channels;
        } else if (name == "--seconds") {
            char* end = nullptr;
            options.seconds = std::strtod(value.c_str(), &end);
            // Less than the millisecond the recorded time counts in cannot be recorded; the
            // recorded time is counted in a signed 32-bit number of milliseconds.
            if (value.empty() || *end != '\0' || !(options.seconds >= kMinSeconds && options.seconds <= kMaxSeconds)) {
                std::cerr << "quillon-cli record: bad value for --seconds: " << value << " (from " << kMinSeconds
                          << " to " << kMaxSeconds << ")\n";
                return false;
            }
            options.secondsGiven = true;
        } else if (name == "--start-above") {
            const auto level = decimalArg(value, -90, -1);
            if (!level) {
                std::cerr << "quillon-cli record: bad value for --start-above: " << value
                          << " (a level in dBFS from -90 to -1)\n";
                return false;
            }
            options.trigger.emplace();
            options.trigger->startAboveDbfs = *level;
        } else if (name == "--pre-roll") {
            options.preRoll = decimalArg(value, 0, kMaxPreRollSeconds);
            if (!options.preRoll) {
                return bad();
            }
        } else if (name == "--stop-after-silence") {
            options.stopAfterSilence = decimalArg(value, 0.01, kMaxSeconds);
            if (!options.stopAfterSilence) {
                return bad();
            }
        } else if (name == "--start-at" || name == "--stop-at") {
            const auto time = ParseClockTime(QString::fromStdString(value));
            if (!time) {
                std::cerr << "quillon-cli record: bad value for " << name << ": " << value
                          << " (a time of day as HH:MM or HH:MM:SS)\n";
                return false;
            }
            (name == "--start-at" ? options.startAt : options.stopAt) = time;
        } else if (name == "--out") {
            options.out = value;
        } else if (name == "--home") {
            options.home = value;
        } else if (name == "--repeat") {
            const auto repeat = integerArg(value, 1, 1000000);
            if (!repeat) {
                return bad();
            }
            options.repeat = *repeat;
        } else {
            std::cerr << "quillon-cli record: unknown option: " << name << '\n';
            return false;
        }
    }
    return checkHandsFree(options);
}

class CliView final : public RecordingView {
public:
    void RecordingStarted() override { recording = true; }
    void RecordingContinued(const QString& /*file*/) override
    {
        // Each take of a split session is named as it ends, as the rounds of --repeat are.
        if (printTakes) {
            lastPrinted = varLastFile();
            std::cout << PathToBytes(lastPrinted) << std::endl;
        }
    }
    void RecordingStopped(const QString& next) override
    {
        recording = false;
        nextFile = next;
        // A stop from inside the loop (write error, lost source) ends the round.
        QCoreApplication::quit();
    }
    bool recording = false;
    bool printTakes = false;
    QString lastPrinted;
    QString nextFile;
};

}  // namespace

int runRecord(const Args& args)
{
    RecordOptions options;
    bool help = false;
    if (!parseRecordOptions(args, options, help)) {
        printRecordUsage(std::cerr);
        return 2;
    }
    if (help) {
        printRecordUsage(std::cout);
        return 0;
    }

    // The program folder is handled as text throughout; a name that is not UTF-8 would
    // silently become another folder.
    if (PathHasRawBytes(PathFromBytes(options.home))) {
        std::cerr << "quillon-cli record: --home " << options.home
                  << ": the folder name is not valid UTF-8; rename the folder or choose another\n";
        return 2;
    }

    int argc = 1;
    char name[] = "quillon-cli";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    InstallTranslation(app);

    const auto folder =
        ChooseProgramFolder(QString::fromStdString(options.home), QCoreApplication::applicationDirPath());
    ProgramFolder(folder);
    if (folder.fellBack) {
        std::cerr << ProgramFolderNote(folder).toStdString() << '\n';
    }

    auto engines = std::make_unique<RealPorts>();
    CliView view;
    RecordingControl control(engines->capture(), engines->encoder(), engines->effects(), folder.path, view);
    // Set for each round below: the recorded time at which the round ends.
    std::int64_t wanted = 0;
    // Armed time counts too when a sound-activated session is bounded.
    std::int64_t sessionBytes = 0;
    std::int64_t sessionBytesPerSec = 0;
    control.SoundActivation(options.trigger);
    view.printTakes = options.trigger && options.split;
    engines->capture().OnGotData([&](std::span<const std::int16_t> samples, std::int32_t length) {
        control.GotData(samples, length);
        sessionBytes += std::max(length, 0);
        const std::int64_t elapsed = options.trigger && sessionBytesPerSec > 0
                                         ? sessionBytes * 1000 / sessionBytesPerSec
                                         : std::int64_t{control.lngElapsedMs()};
        // Checked as each buffer arrives rather than by polling: a timer would wake the
        // process far more often than the capture does.
        if (elapsed >= wanted) {
            QCoreApplication::quit();
        }
    });

    CapturePort& capture = engines->capture();
    if (options.device && *options.device >= 0) {
        if (!capture.SelectDevice(static_cast<std::int32_t>(*options.device))) {
            messageBoxes().show("Quillon", Translated(QT_TRANSLATE_NOOP("Quillon", "没有找到设备！")),
                                MessageIcon::Warning);
            return 1;
        }
        if (options.line && !capture.SelectMixerLine(static_cast<std::int32_t>(*options.line))) {
            messageBoxes().show("Quillon", "Couldn't select mixer line!", MessageIcon::Warning);
        }
        if (options.volume) {
            capture.MixerLineVolume(static_cast<std::int32_t>(*options.volume));
        }
    }

    // Effects and output format as on the command line; without --format the file
    // keeps the recording's rate and channels.
    const bool stereo = options.channels == 2;
    const auto channels = static_cast<std::int16_t>(options.channels);
    try {
        configureEffects(engines->effects().Settings(), options.fx);
    } catch (const QuillonError& e) {
        std::cerr << "quillon-cli record: effect settings refused: " << e.what() << '\n';
        return 2;
    }
    if (const auto rate = ParseSampleRate(QString::fromStdString(options.rate))) {
        std::string error;
        const auto format = options.fx.format ? parseOutputFormat(*options.fx.format, *rate, channels, error)
                                              : std::optional<ChosenFormat>(defaultOutputFormat(*rate, channels));
        if (!format) {
            std::cerr << "quillon-cli record: " << error << '\n';
            return 2;
        }
        engines->encoder().SetFormat(format->format.data(), static_cast<std::int32_t>(format->format.size()),
                                     format->description, format->tagName);
    }

    // A file named on the command line lies outside the start-up repair: a take that a crash
    // cut short there is not overwritten but pointed out, with the way to mend it.
    if (!options.out.empty() && wavFileVerdict(options.out) == WavVerdict::Repairable) {
        std::cerr << "quillon-cli record: " << options.out
                  << " holds a recording that did not end normally (the program was killed?); it is not "
                     "overwritten.\nMend it with: quillon-cli repair "
                  << options.out << '\n';
        return 1;
    }

    QString file;
    if (options.out.empty()) {
        file = control.PrepareStartupFile();
    } else {
        file = PathFromBytes(options.out);  // byte for byte, whatever the encoding
        control.OutputFile(file);
    }

    // Nothing here polls: the round ends with the buffer that completes it, a stop
    // from inside (write error, lost source), a signal, or the wall clock when the
    // source stops delivering. Each wake-up costs more than the buffer it carries.
    //
    // On Ctrl+C the server may still hold up to one hand-over of audio recorded before
    // the key was pressed: the round goes on until that hand-over has arrived.
    const DeliveryPacing pacing(DeliveryPacing::Audience::Nobody);
    const std::optional<std::int32_t> perSecond =
        BytesPerSecond({{}, QString::fromStdString(options.rate), stereo, true});
    const std::int32_t handOverBytes = pacing.HandOverBytes(capture, perSecond);
    const std::int64_t bytesPerSecond = perSecond.value_or(8000 * (stereo ? 4 : 2));
    const int tailMs = static_cast<int>(std::int64_t{handOverBytes} * 1000 / bytesPerSecond) + kTailMarginMs;
    QTimer tail;
    tail.setSingleShot(true);
    QObject::connect(&tail, &QTimer::timeout, [] { QCoreApplication::quit(); });
    const StopSignals stopSignals([&tail, tailMs] {
        if (!tail.isActive()) {
            tail.start(tailMs);
        }
    });
    // Unattended takes are what a sleeping computer ruins; let go when this command ends.
    SleepInhibitor awake(QStringLiteral("Recording"), [] {
        std::cerr << "quillon-cli record: nothing keeps the computer awake meanwhile (neither logind nor the "
                     "desktop portal answered)\n";
    });
    if (options.startAt && !stopSignals.requested()) {
        const QDateTime at = NextMoment(*options.startAt, QDateTime::currentDateTime());
        std::cerr << "quillon-cli record: waiting until " << at.toString(Qt::ISODate).toStdString() << '\n';
        QTimer start;
        start.setSingleShot(true);
        QObject::connect(&start, &QTimer::timeout, [] { QCoreApplication::quit(); });
        start.start(static_cast<int>(
            std::clamp<std::int64_t>(QDateTime::currentDateTime().msecsTo(at), 0, std::int64_t{1} << 30)));
        QCoreApplication::exec();
        if (stopSignals.requested()) {
            std::cerr << "quillon-cli record: stopped before the start time; nothing was recorded\n";
            return 0;
        }
    }
    bool started = false;
    bool failed = false;
    for (long round = 0; round < options.repeat && !stopSignals.requested(); ++round) {
        const RecordInputs inputs{file, QString::fromStdString(options.rate), stereo, true};
        pacing.Prepare(capture, BytesPerSecond(inputs));
        control.cmdDo_Click(inputs);
        if (!capture.IsRecording()) {
            failed = true;
            break;
        }
        started = true;
        awake.Hold(true);

        // The recorded time decides the end; the wall clock only guards against a
        // source that stops delivering.
        const bool bounded = options.secondsGiven || (!options.trigger && !options.stopAt);
        wanted =
            bounded ? static_cast<std::int64_t>(options.seconds * 1000.0) : std::numeric_limits<std::int64_t>::max();
        sessionBytes = 0;
        sessionBytesPerSec = control.lngBytesPerSec();
        if (control.Armed()) {
            std::cerr << "quillon-cli record: waiting for sound above " << options.trigger->startAboveDbfs << " dBFS\n";
        }
        QTimer stopAt;
        if (options.stopAt) {
            stopAt.setSingleShot(true);
            // As at Ctrl+C: what the server still holds of the time before the moment comes too.
            QObject::connect(&stopAt, &QTimer::timeout, [&tail, tailMs] {
                if (!tail.isActive()) {
                    tail.start(tailMs);
                }
            });
            const QDateTime at = NextMoment(*options.stopAt, QDateTime::currentDateTime());
            stopAt.start(static_cast<int>(
                std::clamp<std::int64_t>(QDateTime::currentDateTime().msecsTo(at), 0, std::int64_t{1} << 30)));
        }
        QElapsedTimer wall;
        wall.start();
        QTimer stalled;
        stalled.setSingleShot(true);
        const auto arm = [&] {
            if (!bounded) {
                return;
            }
            const std::int64_t left = wanted + 5000 - wall.elapsed();
            if (left <= 0) {
                QCoreApplication::quit();
            } else {
                stalled.start(static_cast<int>(std::min<std::int64_t>(left, std::int64_t{1} << 30)));
            }
        };
        QObject::connect(&stalled, &QTimer::timeout, arm);
        arm();
        if (!stopSignals.requested()) {
            QCoreApplication::exec();
        }
        stalled.stop();

        if (capture.IsRecording()) {
            DeliveryPacing::HandOverAll(capture);
        }
        if (capture.IsRecording()) {  // unless what waited ended it
            control.cmdDo_Click({});
        }
        if (control.MarkerCount() > 0) {
            std::cerr << "quillon-cli record: " << PathToBytes(varLastFile()) << ": " << control.MarkerCount()
                      << " markers (" << control.DropoutCount() << " dropouts, " << control.ClipCount()
                      << " runs of clipping)\n";
        }
        if (round + 1 < options.repeat) {
            std::cout << PathToBytes(varLastFile()) << '\n';
        }
        if (control.WriteFailed() || control.DeviceWasLost()) {
            break;
        }
        if (options.out.empty()) {
            file = view.nextFile;
        } else if (round + 1 < options.repeat) {
            // Every round gets a file of its own, never one that exists.
            std::string reason;
            const auto next = control.NextOutputFile(&reason);
            if (!next) {
                std::cerr << "quillon-cli record: cannot create the next file: " << reason << '\n';
                failed = true;
                break;
            }
            file = *next;
        }
    }
    if (!started) {
        return 1;
    }

    if (options.trigger && control.TakesStarted() == 0) {
        std::cerr << "quillon-cli record: no sound above " << options.trigger->startAboveDbfs
                  << " dBFS came; nothing was recorded\n";
    } else if (!(view.printTakes && varLastFile() == view.lastPrinted)) {
        std::cout << PathToBytes(varLastFile()) << '\n';
    }
    if (control.DroppedMs() > 0) {
        std::cerr << "quillon-cli record: " << control.DroppedMs()
                  << " ms of audio were dropped by the capture (written as silence)\n";
    }
    if (control.LostBytes() > 0) {
        std::cerr << "quillon-cli record: " << control.LostBytes() << " bytes of audio could not be converted\n";
    }
    return control.WriteFailed() || control.DeviceWasLost() || failed ? 1 : 0;
}

}  // namespace quillon::cli
