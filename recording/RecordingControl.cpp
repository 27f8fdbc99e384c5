#include "recording/RecordingControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "common/MessageBoxes.h"
#include "encoder/WavRepair.h"
#include "recording/FileCounter.h"
#include "recording/Language.h"
#include "recording/PathBytes.h"
#include "recording/posix/SafeFiles.h"

namespace quillon {

std::optional<std::int32_t> ParseSampleRate(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 6) {
        return std::nullopt;
    }
    std::int32_t rate = 0;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        rate = rate * 10 + (c.unicode() - u'0');
    }
    if (rate < 1 || rate > 96000) {
        return std::nullopt;
    }
    return rate;
}

std::optional<std::int32_t> BytesPerSecond(const RecordInputs& inputs)
{
    const auto rate = ParseSampleRate(inputs.rateText);
    if (!rate) {
        return std::nullopt;
    }
    return *rate * (inputs.stereo ? 4 : 2);
}

RecordingControl::RecordingControl(CapturePort& recorder, EncoderPort& encoder, EffectsPort& effects,
                                   QString programFolder, RecordingView& view)
    : recorder_(recorder), encoder_(encoder), effects_(effects), programFolder_(std::move(programFolder)), view_(view)
{
    recorder_.OnDeviceLost([this] { DeviceLost(); });
    recorder_.OnDropout([this](std::uint64_t bytes) { Dropout(bytes); });
}

namespace {

// Free bytes for this user on the file system that will hold `file`; -1 when unknown.
std::int64_t freeBytesFor(const QString& file)
{
    std::error_code ec;
    const auto info = std::filesystem::space(std::filesystem::absolute(PathToBytes(file), ec).parent_path(), ec);
    return ec ? -1 : static_cast<std::int64_t>(info.available);
}

}  // namespace

void RecordingControl::notice(const std::string& text)
{
    messageBoxes().show(Translated(QT_TRANSLATE_NOOP("Quillon", "提示")), Translated(text), MessageIcon::Warning);
}

void RecordingControl::cmdDo_Click(const RecordInputs& inputs)
{
    if (recorder_.IsRecording()) {
        StopSequence();
        // The file holds what came; the user learns why the end may be missing.
        if (const std::string why = recorder_.LastError(); !why.empty()) {
            notice("录音已停止, 声音服务器: " + why);
        }
    } else {
        StartSequence(inputs);
    }
}

bool RecordingControl::CheckInputs(const RecordInputs& inputs)
{
    if (inputs.file.isEmpty()) {
        notice(QT_TRANSLATE_NOOP("Quillon", "没有指定输出文件!"));
        return false;
    }
    // U+FFFD stands for bytes that could not be read as text: the real name is unknown, and
    // writing to this one could replace another file.
    if (inputs.file.contains(QChar(QChar::ReplacementCharacter))) {
        notice(QT_TRANSLATE_NOOP("Quillon",
                                 "文件名中有无法识别的字符 (\xEF\xBF\xBD), 无法确定真正的文件名: 请另选一个文件名!"));
        return false;
    }
    if (!inputs.deviceSelected) {
        const std::string problem = recorder_.ServerProblem();
        const std::string text = QT_TRANSLATE_NOOP("Quillon", "没有选择硬件设备!");
        notice(problem.empty() ? text : text + "\n声音服务器无法连接: " + problem);
        return false;
    }
    // The rate box takes any five digits, but the effects chain and the encoder
    // only work from 1 to 96000: refuse before anything is opened.
    if (!ParseSampleRate(inputs.rateText)) {
        notice(kInvalidRateText);
        return false;
    }
    return true;
}

void RecordingControl::StartSequence(const RecordInputs& inputs)
{
    if (!CheckInputs(inputs)) {
        return;
    }
    const auto rate = ParseSampleRate(inputs.rateText);
    const auto channels = static_cast<std::int16_t>(inputs.stereo ? 2 : 1);
    lngBytesPerSec_ = *BytesPerSecond(inputs);

    // Reading the counter, creating the numbered file and saving the counter form one step
    // for all recorders of this program folder, so two never take the same number.
    std::optional<FolderLock> numberingLock;
    QString file = inputs.file;
    if (numbering_ && file == AutoFileName(programFolder_, intFileCounter())) {
        numberingLock.emplace(QFile::encodeName(programFolder_).toStdString());
        const auto free = NextFreeCounter(programFolder_, intFileCounter());
        if (!free) {
            notice(std::string(QT_TRANSLATE_NOOP(
                       "Quillon", "从 -32768 到 32767 的录音编号都已被 file 文件夹中的录音占用, 无法开始录音!")) +
                   "\n" + QT_TRANSLATE_NOOP("Quillon", "请移走一些录音后再试。"));
            return;
        }
        intFileCounter(*free);
        file = AutoFileName(programFolder_, *free);
    }

    if (encoder_.Encoder_EncoderInit(*rate, channels, PathToBytes(file)) != 0) {
        // The message itself first, then what was refused and why.
        const std::string reason = encoder_.Encoder_FileError();
        notice((std::string(QT_TRANSLATE_NOOP("Quillon", "无法初始化编码器!")) + "\n" +
                PathToBytes(QDir::toNativeSeparators(file)) + (reason.empty() ? std::string() : ": " + reason)));
        return;
    }
    // One second of the chosen output format, as the encoder will write it.
    std::int64_t perSecond = encoder_.Encoder_MaxOutputBytes(lngBytesPerSec_);
    if (perSecond <= 0) {
        perSecond = lngBytesPerSec_;
    }
    const std::int64_t freeBytes = freeBytes_ ? freeBytes_(file) : freeBytesFor(file);
    const bool warnedAtStart = freeBytes >= 0 && freeBytes / 60 < perSecond;
    if (warnedAtStart) {
        notice(QT_TRANSLATE_NOOP("Quillon", "磁盘剩余空间不足一分钟的录音!"));
    }
    outputBytesPerSec_ = perSecond;
    effects_.samplerate(*rate);
    effects_.Channels(channels);
    if (!recorder_.StartRecord(*rate, channels)) {
        const std::string why = recorder_.StartFailureReason();
        const std::string text = QT_TRANSLATE_NOOP("Quillon", "不能启动录音功能!");
        notice(why.empty() ? text : text + "\n" + why);
        return;
    }
    channels_ = channels;
    trigger_ = soundActivation_ ? std::make_unique<SoundTrigger>(*soundActivation_, *rate, channels) : nullptr;
    takeInFile_ = false;
    takesStarted_ = 0;
    droppedMs_ = 0;
    recordingFile_ = file;
    lngElapsedMs_ = 0;
    writeFailed_ = false;
    deviceLost_ = false;
    lostBytes_ = 0;
    fileFrames_ = 0;
    dropoutCount_ = 0;
    clipCount_ = 0;
    markerCount_ = 0;
    clipRunStart_ = -1;
    diskSecondsLeft_ = -1;
    diskCheckedMs_ = 0;
    // Told at the start that not even a minute fits: the five-minute message would say less.
    diskWarned_ = warnedAtStart;
    view_.RecordingStarted();
    if (numbering_) {
        saveCounter();
    }
}

void RecordingControl::StopSequence()
{
    if (!recorder_.StopRecord()) {
        notice(QT_TRANSLATE_NOOP("Quillon", "此时无法停止录音!"));
    }
    countDropouts();
    closeClipRun();
    encoder_.Encoder_EncoderClose();
    diskSecondsLeft_ = -1;
    lngElapsedMs_ = 0;
    lngBytesPerSec_ = 0;
    // Armed and never triggered: the file holds no audio and is not a recording.
    // (The trigger itself lives until the next start: a stop may come from inside it.)
    const bool empty = trigger_ != nullptr && !takeInFile_;
    if (empty) {
        std::error_code ignored;
        std::filesystem::remove(PathToBytes(recordingFile_), ignored);
    } else {
        varLastFile(recordingFile_);
    }
    if (!numbering_) {
        view_.RecordingStopped(recordingFile_);
        return;
    }

    // The counter wraps like the 16-bit value it is; numbers whose file holds
    // a recording are skipped so that the next recording never replaces one.
    const FolderLock numberingLock(QFile::encodeName(programFolder_).toStdString());
    const auto next = static_cast<std::int16_t>(static_cast<std::uint16_t>(intFileCounter()) + (empty ? 0U : 1U));
    // With every number taken the next start refuses; the counter moves on regardless.
    intFileCounter(NextFreeCounter(programFolder_, next).value_or(next));
    const QString nextFile = AutoFileName(programFolder_, intFileCounter());
    PrepareEmptyFile(nextFile);
    view_.RecordingStopped(nextFile);
    saveCounter();
}

QString RecordingControl::PrepareStartupFile()
{
    // Recordings cut short by a crash or power loss are mended before numbering
    // looks at the folder, so the user hears about them at once.
    const FolderRepairReport repaired = repairWavFolder((programFolder_ + QStringLiteral("/file")).toStdString());
    if (!repaired.empty()) {
        messageBoxes().show("Quillon", Translated(recoveryMessage(repaired)), MessageIcon::Warning);
    }
    // A settings file that is there but cannot be used is reported; numbering then goes on
    // from the first free number, so no recording is overwritten either way.
    const QString settings = programFolder_ + QStringLiteral("/nu.ini");
    const QFileInfo link(settings);
    bool unusable = false;
    if (link.isSymLink() && !link.exists()) {
        messageBoxes().show("Quillon",
                            "设置文件 nu.ini 是指向不存在的文件 " + link.symLinkTarget().toStdString() +
                                " 的链接: 录音编号无法保存, 请删除或修正这个链接。",
                            MessageIcon::Warning);
    } else if (link.isSymLink()) {
        // Read through the link, but the saves replace the link: its target is another file.
        messageBoxes().show("Quillon",
                            "设置文件 nu.ini 是指向 " + link.symLinkTarget().toStdString() +
                                " 的链接: 录音编号从中读取, 但保存到程序文件夹中新的 nu.ini, 链接的目标保持不变。",
                            MessageIcon::Warning);
    }
    if (link.exists()) {
        QFile file(settings);
        if (!QFileInfo(settings).isFile() || !file.open(QIODevice::ReadOnly)) {
            unusable = true;
        } else {
            const QByteArray head = file.read(64);
            unusable = !ParseCounter(std::string_view(head.constData(), static_cast<std::size_t>(head.size())));
        }
    }
    intFileCounter(LoadCounter(programFolder_));
    if (unusable) {
        const std::string text =
            QCoreApplication::translate("Quillon", "设置文件 nu.ini 无法读取或内容无效, 录音编号从 %1 继续。")
                .arg(intFileCounter())
                .toStdString();
        messageBoxes().show("Quillon", text, MessageIcon::Warning);
    }
    QString file = AutoFileName(programFolder_, intFileCounter());
    PrepareEmptyFile(file);
    return file;
}

void RecordingControl::GotData(std::span<const std::int16_t> intBuffer, std::int32_t lngLen)
{
    intSamples_.assign(intBuffer.begin(), intBuffer.end());
    ++blockSerial_;
    effects_.ProcessSamples(intSamples_);
    if (!recorder_.IsRecording()) {
        return;
    }
    countDropouts();
    const auto available = static_cast<std::int32_t>(intSamples_.size() * sizeof(std::int16_t));
    const std::int32_t length = std::clamp(lngLen, 0, available);
    if (trigger_ != nullptr) {
        triggered(intBuffer, length);
        return;
    }
    if (lngBytesPerSec_ > 0) {
        // Rounded per buffer, halves to even, as the time has always been counted.
        lngElapsedMs_ = static_cast<std::int32_t>(
            std::nearbyint(static_cast<double>(length) / lngBytesPerSec_ * 1000.0 + lngElapsedMs_));
    }
    encode(length);
    if (lngElapsedMs_ - diskCheckedMs_ >= 1000 && recorder_.IsRecording()) {
        diskCheckedMs_ = lngElapsedMs_;
        checkDiskSpace();
    }
}

void RecordingControl::triggered(std::span<const std::int16_t> captured, std::int32_t length)
{
    class Sink final : public SoundTriggerSink {
    public:
        explicit Sink(RecordingControl& control) : control_(control) {}
        void TakeStarted(std::int64_t /*firstFrame*/) override
        {
            control_.takeInFile_ = true;
            ++control_.takesStarted_;
            control_.AddMarker(QCoreApplication::translate("Quillon", "声控开始"));
        }
        void Write(std::span<const std::int16_t> samples) override
        {
            if (!ok) {
                return;
            }
            const auto bytes = static_cast<std::int32_t>(samples.size_bytes());
            if (control_.lngBytesPerSec_ > 0) {
                control_.lngElapsedMs_ = static_cast<std::int32_t>(std::nearbyint(
                    static_cast<double>(bytes) / control_.lngBytesPerSec_ * 1000.0 + control_.lngElapsedMs_));
            }
            ok = control_.encodeBytes(reinterpret_cast<const unsigned char*>(samples.data()), bytes);
        }
        void TakeEnded(bool splitting) override
        {
            if (!ok) {
                return;
            }
            if (!splitting) {
                finished = true;
                return;
            }
            // The next sound goes to the next file; it stays without audio until then.
            control_.AddMarker(QCoreApplication::translate("Quillon", "静音, 分段"));
            if (!control_.continueInNextFile()) {
                ok = false;
                control_.writeFailed();
                return;
            }
            control_.takeInFile_ = false;
            control_.lngElapsedMs_ = 0;
            control_.diskCheckedMs_ = 0;
        }
        bool ok = true;
        bool finished = false;

    private:
        RecordingControl& control_;
    };
    const auto samples = static_cast<std::size_t>(length) / sizeof(std::int16_t);
    Sink sink(*this);
    trigger_->Process(captured.first(std::min(samples, captured.size())),
                      std::span<const std::int16_t>(intSamples_).first(std::min(samples, intSamples_.size())), sink);
    if (sink.ok && sink.finished && recorder_.IsRecording()) {
        StopSequence();
        return;
    }
    if (lngElapsedMs_ - diskCheckedMs_ >= 1000 && recorder_.IsRecording()) {
        diskCheckedMs_ = lngElapsedMs_;
        checkDiskSpace();
    }
}

void RecordingControl::encode(std::int32_t length)
{
    encodeBytes(reinterpret_cast<const unsigned char*>(intSamples_.data()), length);
}

bool RecordingControl::encodeBytes(const unsigned char* bytes, std::int32_t length)
{
    // The encoder takes at most one second per call; at low rates a capture
    // buffer holds more than that, so it goes in one-second pieces.
    std::int32_t piece = encoder_.Encoder_EncoderMetrics(1);
    if (piece <= 0) {
        piece = length;
    }
    for (std::int32_t offset = 0; offset < length;) {
        const std::int32_t count = std::min(piece, length - offset);
        const std::int64_t fileLength = encoder_.Encoder_FileLength();
        if (fileLength >= 0 && fileLength + encoder_.Encoder_MaxOutputBytes(count) > sizeLimit_ &&
            !continueInNextFile()) {
            writeFailed();
            return false;
        }
        findClipping(bytes + offset, count);
        std::int32_t used = 0;
        const std::int32_t result = encoder_.Encoder_Encode(bytes + offset, count, used);
        fileFrames_ += count / (2 * channels_);
        if (result == kEncoderWriteError) {
            writeFailed();
            return false;
        }
        if (result != 0) {
            lostBytes_ += count;
        }
        offset += count;
    }
    return true;
}

void RecordingControl::writeFailed()
{
    writeFailed_ = true;
    if (recorder_.IsRecording()) {
        StopSequence();
    }
    messageBoxes().show("Quillon", "Write error (no disk space left?)!", MessageIcon::Warning);
}

bool RecordingControl::continueInNextFile()
{
    // What a stop and a start would do, without letting go of the capture: the file is
    // finished and remembered, and the audio flows into the next file. Nothing changes
    // unless the next file could be opened.
    QString file;
    bool created = false;
    std::int16_t counter = intFileCounter();
    std::optional<FolderLock> numberingLock;
    if (numbering_) {
        numberingLock.emplace(QFile::encodeName(programFolder_).toStdString());
        const auto next = static_cast<std::int16_t>(static_cast<std::uint16_t>(counter) + 1U);
        const auto free = NextFreeCounter(programFolder_, next);
        if (!free) {
            return false;
        }
        counter = *free;
        file = AutoFileName(programFolder_, counter);
        created = !std::filesystem::exists(PathToBytes(file));
    } else {
        std::string reason;
        const auto claimed = NextOutputFile(&reason);
        if (!claimed) {
            notice(std::string(QT_TRANSLATE_NOOP("Quillon", "无法创建下一个文件:")) + "\n" + reason);
            return false;
        }
        file = *claimed;
        created = true;
    }
    // A run of clipped samples belongs to the file it started in.
    closeClipRun();
    if (encoder_.Encoder_NextFile(PathToBytes(file)) != 0) {
        if (created) {
            std::error_code ignored;
            std::filesystem::remove(PathToBytes(file), ignored);
        }
        return false;
    }
    varLastFile(recordingFile_);
    recordingFile_ = file;
    fileFrames_ = 0;
    view_.RecordingContinued(file);
    if (numbering_) {
        intFileCounter(counter);
        saveCounter();
    }
    return true;
}

void RecordingControl::OutputFile(const QString& file)
{
    numbering_ = false;
    outputBase_ = file;
    outputIndex_ = 1;
}

std::optional<QString> RecordingControl::NextOutputFile(std::string* reason)
{
    // FILE-2.wav, FILE-3.wav ... beside FILE.wav; a name that exists is never reused.
    if (outputBase_.isEmpty()) {
        outputBase_ = recordingFile_;
    }
    const QString name = outputBase_.mid(outputBase_.lastIndexOf(QLatin1Char('/')) + 1);
    const QString folder = outputBase_.left(outputBase_.size() - name.size());
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    const QString stem = name.left(name.size() - suffix.size());
    while (outputIndex_ < 1000000) {
        ++outputIndex_;
        const QString candidate = folder + stem + QStringLiteral("-") + QString::number(outputIndex_) + suffix;
        const int error = CreateExclusive(PathToBytes(candidate));
        if (error == 0) {
            return candidate;
        }
        if (error != EEXIST) {
            if (reason != nullptr) {
                *reason = PathToBytes(candidate) + ": " + SystemReason(error);
            }
            return std::nullopt;
        }
    }
    if (reason != nullptr) {
        *reason = PathToBytes(outputBase_) + ": no free name left";
    }
    return std::nullopt;
}

void RecordingControl::saveCounter()
{
    std::string reason;
    if (SaveCounter(programFolder_, intFileCounter(), &reason)) {
        saveFailed_ = false;
        return;
    }
    // Once until a save works again: the window saves at every start and stop.
    if (!saveFailed_) {
        saveFailed_ = true;
        notice("录音编号 " + std::to_string(intFileCounter()) + " 无法保存到 nu.ini, 文件保持原样:\n" + reason);
    }
}

void RecordingControl::countDropouts()
{
    if (lngBytesPerSec_ > 0) {
        droppedMs_ =
            static_cast<std::int32_t>(recorder_.DroppedBytes() * 1000 / static_cast<std::uint64_t>(lngBytesPerSec_));
    }
}

void RecordingControl::Dropout(std::uint64_t bytes)
{
    if (!recorder_.IsRecording() || lngBytesPerSec_ <= 0) {
        return;
    }
    countDropouts();
    // Armed, there is no take whose time line the gap would shift.
    if (trigger_ != nullptr && !trigger_->Recording()) {
        return;
    }
    ++dropoutCount_;
    AddMarker(QCoreApplication::translate("Quillon", "丢失 %1 ms")
                  .arg(static_cast<qint64>(bytes * 1000 / static_cast<std::uint64_t>(lngBytesPerSec_))));
    const auto frame = static_cast<std::uint64_t>(channels_) * 2;
    std::uint64_t gap = bytes - bytes % frame;
    if (!fillDropouts_ || gap == 0) {
        return;
    }
    lngElapsedMs_ =
        static_cast<std::int32_t>(std::nearbyint(static_cast<double>(gap) / lngBytesPerSec_ * 1000.0 + lngElapsedMs_));
    const std::vector<unsigned char> silence(static_cast<std::size_t>(std::min<std::uint64_t>(gap, 1U << 20)), 0);
    while (gap > 0) {
        const auto count = static_cast<std::int32_t>(std::min<std::uint64_t>(gap, silence.size()));
        if (!encodeBytes(silence.data(), count)) {
            return;
        }
        gap -= static_cast<std::uint64_t>(count);
    }
}

bool RecordingControl::Mark()
{
    return AddMarker(QCoreApplication::translate("Quillon", "标记"));
}

bool RecordingControl::AddMarker(const QString& label)
{
    if (!recorder_.IsRecording()) {
        return false;
    }
    encoder_.Encoder_AddMarker(fileFrames_, label.toStdString());
    ++markerCount_;
    return true;
}

void RecordingControl::findClipping(const unsigned char* bytes, std::int32_t count)
{
    const std::int64_t rate = lngBytesPerSec_ / (2 * channels_);
    const std::int32_t samples = count / 2;
    for (std::int32_t i = 0; i < samples; ++i) {
        std::int16_t sample = 0;
        std::memcpy(&sample, bytes + 2 * static_cast<std::ptrdiff_t>(i), sizeof sample);
        if (sample != INT16_MAX && sample != INT16_MIN) {
            continue;
        }
        const std::int64_t frame = fileFrames_ + i / channels_;
        if (clipRunStart_ >= 0 && 2 * (frame - clipRunLast_) >= rate) {
            closeClipRun();
        }
        if (clipRunStart_ < 0) {
            clipRunStart_ = frame;
            clipRunSamples_ = 0;
        }
        clipRunLast_ = frame;
        ++clipRunSamples_;
    }
    // Half a second with no clipping closes the run, so it is marked while recording.
    if (clipRunStart_ >= 0 && 2 * (fileFrames_ + samples / channels_ - clipRunLast_) >= rate) {
        closeClipRun();
    }
}

void RecordingControl::closeClipRun()
{
    if (clipRunStart_ < 0) {
        return;
    }
    ++clipCount_;
    ++markerCount_;
    encoder_.Encoder_AddMarker(
        clipRunStart_, QCoreApplication::translate("Quillon", "削波 %1 个采样").arg(clipRunSamples_).toStdString());
    clipRunStart_ = -1;
}

void RecordingControl::checkDiskSpace()
{
    const std::int64_t free = freeBytes_ ? freeBytes_(recordingFile_) : freeBytesFor(recordingFile_);
    if (free < 0 || outputBytesPerSec_ <= 0) {
        diskSecondsLeft_ = -1;
        return;
    }
    diskSecondsLeft_ = free / outputBytesPerSec_;
    if (diskSecondsLeft_ < kDiskWarningSeconds && !diskWarned_) {
        diskWarned_ = true;
        // After this buffer: a box waits for the user, the recording must not.
        const std::string text = QCoreApplication::translate("Quillon", "磁盘剩余空间只够再录音 %1 分钟!")
                                     .arg((diskSecondsLeft_ + 59) / 60)
                                     .toStdString();
        QTimer::singleShot(0, [text] {
            messageBoxes().show(Translated(QT_TRANSLATE_NOOP("Quillon", "提示")), text, MessageIcon::Warning);
        });
    }
}

void RecordingControl::DeviceLost()
{
    if (!recorder_.IsRecording()) {
        return;
    }
    deviceLost_ = true;
    StopSequence();
    // Not one of the record button's boxes: it comes from the capture, like the write error.
    const std::string text = QT_TRANSLATE_NOOP("Quillon", "录音设备已断开, 录音已停止!");
    const std::string why = recorder_.LastError();
    messageBoxes().show("Quillon", Translated(why.empty() ? text : text + "\n声音服务器: " + why),
                        MessageIcon::Warning);
}

}  // namespace quillon
