#include "encoder/EncoderWAV.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/QuillonError.h"
#include "encoder/FormatChooser.h"

namespace quillon {

namespace {

std::string CutAtNul(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// The rate in kHz rounded to one decimal, halves to even, without trailing zeros. Done in
// integers: 22050 is exactly 22.05, which binary floating point would round up.
std::string kiloHertzText(std::int32_t samplerate)
{
    const std::int64_t rate = samplerate;
    const std::int64_t magnitude = rate < 0 ? -rate : rate;
    std::int64_t tenths = magnitude / 100;
    const std::int64_t rest = magnitude % 100;
    if (rest > 50 || (rest == 50 && tenths % 2 == 1)) {
        ++tenths;
    }
    std::string text;
    if (rate < 0 && tenths != 0) {
        text.push_back('-');
    }
    text.append(std::to_string(tenths / 10));
    if (tenths % 10 != 0) {
        text.push_back('.');
        text.append(std::to_string(tenths % 10));
    }
    return text;
}

}  // namespace

EncoderWAV::EncoderWAV() : outputFormat_(kFormatBufferSize, 0)
{
    const auto pcm = MakePCMFormat(44100, 2, 16).bytes();
    SetFormat(pcm.data(), static_cast<std::int32_t>(pcm.size()), "44.1 kHz 16 Bit Stereo", "PCM");
}

EncoderWAV::~EncoderWAV()
{
    Encoder_EncoderClose();
}

void EncoderWAV::WriteHeader(bool bln)
{
    if (file_.isOpen()) {
        throw QuillonError(90, "Encoder already running!");
    }
    writeHeader_ = bln;
}

void EncoderWAV::SetPCMFormat(std::int32_t samplerate, std::int16_t Channels, const std::string& FormatID,
                              const std::string& FormatTag)
{
    const auto pcm = MakePCMFormat(samplerate, Channels, 16).bytes();
    std::string id = FormatID;
    if (id.empty()) {
        id = kiloHertzText(samplerate);
        id.append(" 16 Bit ");
        id.append(Channels == 2 ? "stereo" : "mono");
    }
    std::string tag = FormatTag.empty() ? std::string("PCM") : FormatTag;
    SetFormat(pcm.data(), static_cast<std::int32_t>(pcm.size()), id, tag);
}

void EncoderWAV::SetFormat(const void* wfx_ptr, std::int32_t wfx_len, const std::string& FormatID,
                           const std::string& FormatTag)
{
    if (wfx_len < 0 || (wfx_ptr == nullptr && wfx_len > 0)) {
        return;
    }
    const auto length = static_cast<std::size_t>(wfx_len);
    if (outputFormat_.size() < length) {
        outputFormat_.resize(length);
    }
    if (length > 0) {
        std::memcpy(outputFormat_.data(), wfx_ptr, length);
    }
    outputFormatLength_ = wfx_len;
    formatID_ = FormatID;
    formatTag_ = FormatTag;
}

std::int32_t EncoderWAV::SelectFormat(std::int32_t samplerate, std::int16_t Channels, void* hwndOwner,
                                      const std::string& Title)
{
    const auto source = MakePCMFormat(samplerate, Channels, 16).bytes();
    std::vector<std::uint8_t> work(kFormatBufferSize, 0);
    std::copy(source.begin(), source.end(), work.begin());

    FormatChooser* chooser = formatChooser();
    if (chooser == nullptr) {
        return 11;
    }
    const auto chosen = chooser->choose(std::span<const std::uint8_t>(work.data(), source.size()), hwndOwner, Title);
    // A record that is shorter than its own cbSize says, or larger than the buffer, is refused
    // like a failed chooser rather than stored half-read.
    if (!chosen || chosen->format.size() < kWaveFormatExSize || chosen->format.size() > work.size()) {
        return 11;
    }
    const std::size_t cbSize = getLE16(chosen->format.data() + 16);
    if (kWaveFormatExSize + cbSize > chosen->format.size()) {
        return 11;
    }
    std::copy(chosen->format.begin(), chosen->format.end(), work.begin());

    std::copy(work.begin(), work.end(), outputFormat_.begin());
    outputFormatLength_ = static_cast<std::int32_t>(cbSize + kWaveFormatExSize);
    formatID_ = CutAtNul(chosen->description);
    formatTag_ = CutAtNul(chosen->tagName);
    return 0;
}

std::span<const std::uint8_t> EncoderWAV::OutputFormat() const
{
    return std::span<const std::uint8_t>(outputFormat_.data(), static_cast<std::size_t>(outputFormatLength_));
}

std::int32_t EncoderWAV::Encoder_EncoderInit(std::int32_t samplerate, std::int16_t Channels,
                                             const std::string& fileName)
{
    Encoder_EncoderClose();
    if (samplerate < 1 || Channels < 1) {
        return 7;
    }
    sourceFormat_ = MakePCMFormat(samplerate, Channels, 16);
    const auto source = sourceFormat_.bytes();
    if (acm::acmStreamOpen(stream_, source, OutputFormat(), 0) != acm::MMSYSERR_NOERROR) {
        return 7;
    }

    // One second of capture, plus room for the few bytes a conversion may leave over.
    sourceBufferSize_ = static_cast<std::int32_t>(sourceFormat_.nAvgBytesPerSec);
    const std::uint32_t capacity =
        static_cast<std::uint32_t>(sourceBufferSize_) + acm::acmStreamSourceBlockAlign(stream_.get());
    std::uint32_t destinationSize = 0;
    if (acm::acmStreamSize(stream_.get(), capacity, destinationSize, acm::ACM_STREAMSIZEF_SOURCE) !=
            acm::MMSYSERR_NOERROR ||
        destinationSize > static_cast<std::uint32_t>(INT32_MAX)) {
        acm::acmStreamClose(stream_, 0);
        return 7;
    }
    destinationBufferSize_ = static_cast<std::int32_t>(destinationSize);

    sourceBuffer_.assign(capacity, 0);
    destinationBuffer_.assign(std::max<std::uint32_t>(destinationSize, 1), 0);
    header_ = acm::AcmStreamHeader{};
    header_.cbSrcLength = capacity;
    header_.cbDstLength = destinationSize;
    header_.pbSrc = sourceBuffer_.data();
    header_.pbDst = destinationBuffer_.data();
    if (acm::acmStreamPrepareHeader(stream_.get(), header_, 0) != acm::MMSYSERR_NOERROR) {
        acm::acmStreamClose(stream_, 0);
        return 7;
    }

    const auto format = OutputFormat();
    fileFormat_.assign(format.begin(), format.end());
    if (!openFile(fileName)) {
        acm::acmStreamUnprepareHeader(stream_.get(), header_, 0);
        acm::acmStreamClose(stream_, 0);
        return 2;
    }
    carried_ = 0;
    sourceTaken_ = 0;
    outputMade_ = 0;
    return 0;
}

bool EncoderWAV::openFile(const std::string& fileName)
{
    fileError_ = 0;
    file_ = PosixFile::create(fileName, &fileError_);
    if (!file_.isOpen()) {
        return false;
    }
    fileName_ = fileName;
    markers_.clear();
    if (writeHeader_) {
        // A real header from the start, not zeros: a file cut short by a crash still says
        // what its audio is, and the sizes are brought up to date as the audio grows.
        writeAudio(headerFor(static_cast<std::int64_t>(fileFormat_.size()) + 28));
    }
    lastSync_ = std::chrono::steady_clock::now();
    return true;
}

std::vector<std::uint8_t> EncoderWAV::headerFor(std::int64_t length) const
{
    const auto n = static_cast<std::uint32_t>(fileFormat_.size());
    const auto size = static_cast<std::uint32_t>(std::max<std::int64_t>(length, n + 28));
    std::vector<std::uint8_t> h(n + 28);
    std::memcpy(h.data(), "RIFF", 4);
    putLE32(h.data() + 4, size - 8);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    putLE32(h.data() + 16, n);
    std::copy(fileFormat_.begin(), fileFormat_.end(), h.begin() + 20);
    std::memcpy(h.data() + 20 + n, "data", 4);
    putLE32(h.data() + 24 + n, size - n - 28);
    return h;
}

void EncoderWAV::syncAndUpdateSizes()
{
    // Torn blocks are taken back at once, so the length is always whole blocks; audio
    // written after this moment is not claimed.
    const std::int64_t length = file_.length();
    if (length < 0) {
        return;
    }
    const auto header = headerFor(length);
    const auto n = fileFormat_.size();
    std::array<std::uint8_t, 4> riffSize{};
    std::array<std::uint8_t, 4> dataSize{};
    std::copy_n(header.begin() + 4, 4, riffSize.begin());
    std::copy_n(header.begin() + static_cast<std::ptrdiff_t>(24 + n), 4, dataSize.begin());
    // Only the descriptor is shared with the worker: the file is neither closed nor
    // replaced before wait(), and the writer's offset is its own.
    auto job = [file = &file_, side = &markerFile_, sizes = writeHeader_, riffSize, dataSize,
                dataAt = static_cast<std::int64_t>(24 + n)] {
        if (side->isOpen()) {
            side->syncData();
        }
        if (!file->syncData() || !sizes) {
            return;
        }
        file->writeAt(4, riffSize);
        file->writeAt(dataAt, dataSize);
    };
    if (headerUpdateInterval_ == std::chrono::milliseconds::zero()) {
        job();  // after every block means: done when Encoder_Encode returns
    } else if (!syncer_.post(std::move(job))) {
        return;  // the disk is still busy with the last one: try again with the next block
    }
    lastSync_ = std::chrono::steady_clock::now();
}

std::string EncoderWAV::Encoder_FileError() const
{
    if (fileError_ == 0) {
        return {};
    }
    if (fileError_ == EWOULDBLOCK) {
        return "another program is writing this file";
    }
    return std::strerror(fileError_);
}

std::int64_t EncoderWAV::Encoder_FileLength() const
{
    return file_.isOpen() ? file_.length() : -1;
}

std::int64_t EncoderWAV::Encoder_MaxOutputBytes(std::int32_t buffer_len) const
{
    if (!file_.isOpen() || sourceBufferSize_ <= 0) {
        return 0;
    }
    // The destination buffer holds the conversion of one full source buffer. Everything the
    // stream has taken so far plus this block, scaled by that ratio, bounds all it can have
    // produced; less what it already produced, plus a codec block's rounding.
    const std::int64_t source = sourceTaken_ + carried_ + std::max<std::int64_t>(buffer_len, 0);
    const std::int64_t scaled = (source * destinationBufferSize_ + sourceBufferSize_ - 1) / sourceBufferSize_;
    const std::int64_t blockAlign = fileFormat_.size() >= 14 ? getLE16(fileFormat_.data() + 12) : 0;
    return std::max<std::int64_t>(scaled - outputMade_, 0) + 2 * blockAlign + 64;
}

std::int32_t EncoderWAV::Encoder_NextFile(const std::string& fileName)
{
    if (!file_.isOpen()) {
        return 2;
    }
    // The new file first: when it cannot be created, the open file and the stream go on
    // as they were and a close still finishes the file.
    fileError_ = 0;
    PosixFile next = PosixFile::create(fileName, &fileError_);
    if (!next.isOpen()) {
        return 2;
    }
    syncer_.wait();
    if (writeHeader_) {
        WriteWaveHeader();
    }
    file_.syncData();
    finishMarkers();
    file_ = std::move(next);
    fileName_ = fileName;
    if (writeHeader_) {
        writeAudio(headerFor(static_cast<std::int64_t>(fileFormat_.size()) + 28));
    }
    lastSync_ = std::chrono::steady_clock::now();
    return 0;
}

std::int32_t EncoderWAV::Encoder_Encode(const void* buffer_ptr, std::int32_t buffer_len, std::int32_t& buffer_used)
{
    if (buffer_len > sourceBufferSize_) {
        return 8;
    }
    // Converting without a readable block would write the previous block's stale samples again.
    if (buffer_len < 0 || (buffer_ptr == nullptr && buffer_len > 0) || !stream_) {
        buffer_used = 0;
        return 9;
    }
    if (carried_ + static_cast<std::size_t>(buffer_len) > sourceBuffer_.size()) {
        carried_ = 0;  // a codec that left more than a unit over; its bytes cannot be kept
    }
    if (buffer_len > 0) {
        std::memcpy(sourceBuffer_.data() + carried_, buffer_ptr, static_cast<std::size_t>(buffer_len));
    }
    header_.cbSrcLength = carried_ + static_cast<std::uint32_t>(buffer_len);
    std::int32_t result = 0;
    if (acm::acmStreamConvert(stream_.get(), header_, acm::ACM_STREAMCONVERTF_BLOCKALIGN) != acm::MMSYSERR_NOERROR) {
        result = header_.cbSrcLengthUsed == 0 ? 9 : 0;
        carried_ = 0;
    } else {
        const auto produced = std::span<const std::uint8_t>(destinationBuffer_.data(), header_.cbDstLengthUsed);
        result = writeAudio(produced) != static_cast<std::int64_t>(produced.size()) ? 10 : 0;
        if (result == 0 && std::chrono::steady_clock::now() - lastSync_ >= headerUpdateInterval_) {
            syncAndUpdateSizes();
        }
        sourceTaken_ += header_.cbSrcLengthUsed;
        outputMade_ += header_.cbDstLengthUsed;
        carried_ = header_.cbSrcLength - header_.cbSrcLengthUsed;
        if (carried_ > 0) {
            std::memmove(sourceBuffer_.data(), sourceBuffer_.data() + header_.cbSrcLengthUsed, carried_);
        }
    }
    buffer_used = static_cast<std::int32_t>(header_.cbSrcLengthUsed);
    return result;
}

std::int32_t EncoderWAV::Encoder_EncoderClose()
{
    if (!file_.isOpen()) {
        return 2;
    }
    // Drain the converter; a block codec also gets the carried tail as its last block. A
    // resampler from a very low rate can hold more than one destination buffer, so drain
    // until nothing more comes.
    header_.cbSrcLength = carried_;
    for (int round = 0; round < kMaxDrainRounds; ++round) {
        if (acm::acmStreamConvert(stream_.get(), header_, acm::ACM_STREAMCONVERTF_END) != acm::MMSYSERR_NOERROR ||
            header_.cbDstLengthUsed == 0) {
            break;
        }
        writeAudio(std::span<const std::uint8_t>(destinationBuffer_.data(), header_.cbDstLengthUsed));
        header_.cbSrcLength = 0;
    }
    header_.cbSrcLength = header_.cbPreparedSrcLength;
    syncer_.wait();
    if (writeHeader_) {
        WriteWaveHeader();
    }
    file_.syncData();
    finishMarkers();
    acm::acmStreamUnprepareHeader(stream_.get(), header_, 0);
    acm::acmStreamClose(stream_, 0);
    stream_.reset();
    carried_ = 0;
    file_.close();
    return 0;
}

std::int32_t EncoderWAV::Encoder_EncoderMetrics(std::int32_t info) const
{
    if (info == 1) {
        return file_.isOpen() ? static_cast<std::int32_t>(sourceFormat_.nAvgBytesPerSec) : -1;
    }
    if (info == 0) {
        return file_.isOpen() ? static_cast<std::int32_t>(static_cast<std::int16_t>(sourceFormat_.nBlockAlign)) : -1;
    }
    return 0;
}

std::int64_t EncoderWAV::writeAudio(std::span<const std::uint8_t> bytes)
{
    if (!file_.isOpen()) {
        return 0;
    }
    if (bytes.empty()) {
        return 0;
    }
    const std::int64_t before = file_.position();
    if (before < 0 || before + static_cast<std::int64_t>(bytes.size()) > kMaxFileLength) {
        return -1;
    }
    const std::int64_t written = file_.write(bytes);
    if (written > 0 && written < static_cast<std::int64_t>(bytes.size())) {
        // Take back the partial block: a torn frame would shift every later sample by a channel.
        file_.truncate(before);
        file_.seek(before, PosixFile::SEEK_SET_);
        return 0;
    }
    return written;
}

void EncoderWAV::Encoder_AddMarker(std::int64_t sourceFrame, const std::string& label)
{
    if (!file_.isOpen() || sourceFormat_.nSamplesPerSec == 0) {
        return;
    }
    // Frames of the written file: a converter to another rate moves the point with it.
    const std::int64_t outRate = fileFormat_.size() >= 8 ? getLE32(fileFormat_.data() + 4) : 0;
    std::int64_t frame = std::max<std::int64_t>(sourceFrame, 0);
    if (outRate > 0 && outRate != sourceFormat_.nSamplesPerSec) {
        frame = frame * outRate / sourceFormat_.nSamplesPerSec;
    }
    const WavMarker marker{static_cast<std::uint32_t>(std::min<std::int64_t>(frame, 0xFFFFFFFFLL)), label};
    markers_.push_back(marker);
    if (!writeHeader_) {
        return;  // raw audio has nowhere to keep them
    }
    if (!markerFile_.isOpen()) {
        markerFile_ = PosixFile::create(MarkerSidePath(fileName_).string());
    }
    const std::string line = MarkerSideLine(marker);
    markerFile_.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
}

void EncoderWAV::finishMarkers()
{
    if (writeHeader_ && !markers_.empty()) {
        // The data size is on the disk already: a crash from here on leaves whole audio
        // followed by a torn chunk, which the repair cuts off before it puts the side
        // file's markers back.
        std::vector<std::uint8_t> chunks;
        const std::int64_t length = file_.length();
        const auto n = static_cast<std::int64_t>(fileFormat_.size());
        if (length >= 0 && (length - n - 28) % 2 != 0) {
            chunks.push_back(0);  // an odd data chunk's pad byte
        }
        const auto body = MarkerChunks(markers_);
        chunks.insert(chunks.end(), body.begin(), body.end());
        if (length >= 0 && length + static_cast<std::int64_t>(chunks.size()) <= kMaxFileLength &&
            file_.seek(0, PosixFile::SEEK_END_) == length &&
            file_.write(chunks) == static_cast<std::int64_t>(chunks.size())) {
            std::array<std::uint8_t, 4> riffSize{};
            putLE32(riffSize.data(), static_cast<std::uint32_t>(file_.length() - 8));
            file_.writeAt(4, riffSize);
            file_.syncData();
        } else if (length >= 0) {
            file_.truncate(length);  // the audio as it was; the side file keeps the markers
            markerFile_.close();
            markers_.clear();
            return;
        }
    }
    markers_.clear();
    if (markerFile_.isOpen()) {
        markerFile_.close();
        std::error_code ignored;
        std::filesystem::remove(MarkerSidePath(fileName_), ignored);
    }
}

void EncoderWAV::WriteWaveHeader()
{
    const auto n = static_cast<std::uint32_t>(fileFormat_.size());
    // The header itself makes the file at least N + 28 bytes long, even if the placeholder
    // could not be written; low 32 bits as the header holds no more.
    const std::uint32_t size = std::max(static_cast<std::uint32_t>(file_.length()), n + 28);
    std::uint8_t record[20] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    putLE32(record + 4, size - 8);
    putLE32(record + 16, n);
    file_.seek(0, PosixFile::SEEK_SET_);
    file_.write(record);
    file_.write(fileFormat_);
    const std::uint8_t data[4] = {'d', 'a', 't', 'a'};
    file_.write(data);
    std::uint8_t length[4] = {};
    putLE32(length, size - n - 28);
    file_.write(length);
}

}  // namespace quillon
