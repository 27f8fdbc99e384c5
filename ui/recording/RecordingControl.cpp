#include "ui/recording/RecordingControl.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "common/MessageBoxes.h"
#include "encoder/WavRepair.h"
#include "ui/recording/FileCounter.h"

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
    const auto info = std::filesystem::space(QFileInfo(file).absolutePath().toStdString(), ec);
    return ec ? -1 : static_cast<std::int64_t>(info.available);
}

}  // namespace

void RecordingControl::notice(const char* text)
{
    messageBoxes().show("提示", text, MessageIcon::Warning);
}

void RecordingControl::cmdDo_Click(const RecordInputs& inputs)
{
    if (recorder_.IsRecording()) {
        StopSequence();
    } else {
        StartSequence(inputs);
    }
}

void RecordingControl::StartSequence(const RecordInputs& inputs)
{
    if (inputs.file.isEmpty()) {
        notice("没有指定输出文件!");
        return;
    }
    if (!inputs.deviceSelected) {
        notice("没有选择硬件设备!");
        return;
    }
    // The rate box takes any five digits, but the effects chain and the encoder
    // only work from 1 to 96000: refuse before anything is opened.
    const auto rate = ParseSampleRate(inputs.rateText);
    if (!rate) {
        notice(kInvalidRateText);
        return;
    }
    const auto channels = static_cast<std::int16_t>(inputs.stereo ? 2 : 1);
    lngBytesPerSec_ = *BytesPerSecond(inputs);

    if (encoder_.Encoder_EncoderInit(*rate, channels, inputs.file.toStdString()) != 0) {
        notice("无法初始化编码器!");
        return;
    }
    // One second of the chosen output format, as the encoder will write it.
    std::int64_t perSecond = encoder_.Encoder_MaxOutputBytes(lngBytesPerSec_);
    if (perSecond <= 0) {
        perSecond = lngBytesPerSec_;
    }
    const std::int64_t freeBytes = freeBytesFor(inputs.file);
    if (freeBytes >= 0 && freeBytes / 60 < perSecond) {
        notice("磁盘剩余空间不足一分钟的录音!");
    }
    effects_.samplerate(*rate);
    effects_.Channels(channels);
    if (!recorder_.StartRecord(*rate, channels)) {
        notice("不能启动录音功能!");
        return;
    }
    channels_ = channels;
    droppedMs_ = 0;
    recordingFile_ = inputs.file;
    lngElapsedMs_ = 0;
    writeFailed_ = false;
    lostBytes_ = 0;
    view_.RecordingStarted();
    if (numbering_) {
        SaveCounter(programFolder_, intFileCounter());
    }
}

void RecordingControl::StopSequence()
{
    if (!recorder_.StopRecord()) {
        notice("此时无法停止录音!");
    }
    countDropouts();
    encoder_.Encoder_EncoderClose();
    lngElapsedMs_ = 0;
    lngBytesPerSec_ = 0;
    varLastFile(recordingFile_);
    if (!numbering_) {
        view_.RecordingStopped(recordingFile_);
        return;
    }

    // The counter wraps like the 16-bit value it is; numbers whose file holds
    // a recording are skipped so that the next recording never replaces one.
    const auto next = static_cast<std::int16_t>(static_cast<std::uint16_t>(intFileCounter()) + 1U);
    intFileCounter(NextFreeCounter(programFolder_, next));
    const QString nextFile = AutoFileName(programFolder_, intFileCounter());
    PrepareEmptyFile(nextFile);
    view_.RecordingStopped(nextFile);
    SaveCounter(programFolder_, intFileCounter());
}

QString RecordingControl::PrepareStartupFile()
{
    // Recordings cut short by a crash or power loss are mended before numbering
    // looks at the folder, so the user hears about them at once.
    const FolderRepairReport repaired = repairWavFolder((programFolder_ + QStringLiteral("/file")).toStdString());
    if (!repaired.empty()) {
        messageBoxes().show("Quillon", recoveryMessage(repaired), MessageIcon::Warning);
    }
    // A settings file that is there but cannot be used is reported; numbering then goes on
    // from the first free number, so no recording is overwritten either way.
    const QString settings = programFolder_ + QStringLiteral("/nu.ini");
    bool unusable = false;
    if (QFileInfo(settings).exists() || QFileInfo(settings).isSymLink()) {
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
            "设置文件 nu.ini 无法读取或内容无效, 录音编号从 " + std::to_string(intFileCounter()) + " 继续。";
        messageBoxes().show("Quillon", text, MessageIcon::Warning);
    }
    const QString file = AutoFileName(programFolder_, intFileCounter());
    PrepareEmptyFile(file);
    return file;
}

void RecordingControl::GotData(std::span<const std::int16_t> intBuffer, std::int32_t lngLen)
{
    intSamples_.assign(intBuffer.begin(), intBuffer.end());
    effects_.ProcessSamples(intSamples_);
    if (!recorder_.IsRecording()) {
        return;
    }
    countDropouts();
    const auto available = static_cast<std::int32_t>(intSamples_.size() * sizeof(std::int16_t));
    const std::int32_t length = std::clamp(lngLen, 0, available);
    if (lngBytesPerSec_ > 0) {
        // Rounded per buffer, halves to even, as the time has always been counted.
        lngElapsedMs_ = static_cast<std::int32_t>(
            std::nearbyint(static_cast<double>(length) / lngBytesPerSec_ * 1000.0 + lngElapsedMs_));
    }
    encode(length);
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
        std::int32_t used = 0;
        const std::int32_t result = encoder_.Encoder_Encode(bytes + offset, count, used);
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
    // finished and remembered, the counter moves on and the audio flows into the next file.
    varLastFile(recordingFile_);
    const auto next = static_cast<std::int16_t>(static_cast<std::uint16_t>(intFileCounter()) + 1U);
    intFileCounter(NextFreeCounter(programFolder_, next));
    const QString file = AutoFileName(programFolder_, intFileCounter());
    PrepareEmptyFile(file);
    if (encoder_.Encoder_NextFile(file.toStdString()) != 0) {
        return false;
    }
    recordingFile_ = file;
    view_.RecordingContinued(file);
    SaveCounter(programFolder_, intFileCounter());
    return true;
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

void RecordingControl::DeviceLost()
{
    if (!recorder_.IsRecording()) {
        return;
    }
    StopSequence();
    // Not one of the record button's boxes: it comes from the capture, like the write error.
    messageBoxes().show("Quillon", "录音设备已断开, 录音已停止!", MessageIcon::Warning);
}

}  // namespace quillon
