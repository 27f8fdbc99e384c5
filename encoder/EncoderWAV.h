#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/WaveFormat.h"
#include "encoder/SyncWorker.h"
#include "encoder/WavMarkers.h"
#include "encoder/acm/AcmStream.h"
#include "encoder/platform/PosixFile.h"

namespace quillon {

// Writes captured 16-bit PCM blocks to a WAV file through a conversion stream to the output
// format. Result codes: 0 success, 2 file (create failed / none open), 7 no conversion,
// 8 block too long, 9 conversion failed, 10 short write.
class EncoderWAV {
public:
    static constexpr std::size_t kFormatBufferSize = 131072;

    EncoderWAV();
    ~EncoderWAV();
    EncoderWAV(const EncoderWAV&) = delete;
    EncoderWAV& operator=(const EncoderWAV&) = delete;

    [[nodiscard]] bool WriteHeader() const { return writeHeader_; }
    // Whether the file gets a RIFF header; throws QuillonError 90 while a file is open.
    void WriteHeader(bool bln);
    [[nodiscard]] const std::string& FormatTag() const { return formatTag_; }
    [[nodiscard]] const std::string& FormatID() const { return formatID_; }

    // 16-bit PCM output; empty texts are filled in ("22 16 Bit mono", "PCM").
    void SetPCMFormat(std::int32_t samplerate, std::int16_t Channels, const std::string& FormatID,
                      const std::string& FormatTag);
    // Output format bytes (WAVEFORMATEX + extra); a null address with a length does nothing.
    void SetFormat(const void* wfx_ptr, std::int32_t wfx_len, const std::string& FormatID,
                   const std::string& FormatTag);
    // Asks the installed FormatChooser for a format reachable from the capture format.
    // 0 chosen, 11 cancelled / failed / no chooser (nothing changes then).
    std::int32_t SelectFormat(std::int32_t samplerate, std::int16_t Channels, void* hwndOwner,
                              const std::string& Title);

    [[nodiscard]] std::string Encoder_Description() const { return "Wave ACM Encoder"; }
    [[nodiscard]] std::string Encoder_Extension() const { return "wav"; }

    std::int32_t Encoder_EncoderClose();
    std::int32_t Encoder_Encode(const void* buffer_ptr, std::int32_t buffer_len, std::int32_t& buffer_used);
    // info 1: bytes per second of the capture format, info 0: its block align; -1 when closed.
    [[nodiscard]] std::int32_t Encoder_EncoderMetrics(std::int32_t info) const;
    std::int32_t Encoder_EncoderInit(std::int32_t samplerate, std::int16_t Channels, const std::string& fileName);

    // The valid output format bytes and the size of the array that holds them.
    [[nodiscard]] std::span<const std::uint8_t> OutputFormat() const;
    [[nodiscard]] std::size_t OutputFormatCapacity() const { return outputFormat_.size(); }
    [[nodiscard]] bool IsOpen() const { return file_.isOpen(); }

    // The header's 32-bit size fields cap a file at this length; writes beyond it fail (10).
    static constexpr std::int64_t kMaxFileLength = 0xFFFFFFFFLL;

    // While a file is open its audio is synced to the disk and the header's sizes brought up
    // to date at this interval (checked at each block), so a crash or power cut leaves a file
    // that is at most this much behind. That runs on a thread of its own, so a slow disk does
    // not hold up the caller. Zero: after every block, before Encoder_Encode returns.
    [[nodiscard]] std::chrono::milliseconds HeaderUpdateInterval() const { return headerUpdateInterval_; }
    void HeaderUpdateInterval(std::chrono::milliseconds interval) { headerUpdateInterval_ = interval; }
    // Why the last file could not be created (the system's text); empty when it was.
    [[nodiscard]] std::string Encoder_FileError() const;
    // Length of the open file in bytes; -1 when closed.
    [[nodiscard]] std::int64_t Encoder_FileLength() const;
    // The most bytes an Encoder_Encode of `buffer_len` source bytes can add to the file.
    [[nodiscard]] std::int64_t Encoder_MaxOutputBytes(std::int32_t buffer_len) const;
    // Finishes the open file (header, sync) and goes on writing into `fileName` with the same
    // conversion stream and carried bytes, so no sample is lost or repeated at the seam.
    // 0, or 2 when no file is open or the new file cannot be created (nothing changes then).
    std::int32_t Encoder_NextFile(const std::string& fileName);

    // A cue point at frame `sourceFrame` of the capture format, counted from the start of the
    // open file, labelled `label`. Kept in a side file beside the take (MarkerSidePath), synced
    // with the audio, and written after the audio as cue and label chunks when the file is
    // finished; the header and the data offset stay as they are. Nothing without an open file.
    void Encoder_AddMarker(std::int64_t sourceFrame, const std::string& label);
    // The markers of the open file, in frames of the file as written.
    [[nodiscard]] const std::vector<WavMarker>& Markers() const { return markers_; }

private:
    // Bound on the END conversions at close, against a codec that never runs dry.
    static constexpr int kMaxDrainRounds = 1000;

    std::int64_t writeAudio(std::span<const std::uint8_t> bytes);
    void WriteWaveHeader();
    // Appends the markers after the audio, brings the RIFF size up to date and lets go of
    // the side file; the data size must be final already.
    void finishMarkers();
    // Opens `fileName` and writes a header describing an empty file.
    bool openFile(const std::string& fileName);
    // Header with the sizes of a file `length` bytes long.
    [[nodiscard]] std::vector<std::uint8_t> headerFor(std::int64_t length) const;
    // Syncs the audio, then writes sizes that claim no more than is on disk (on syncer_).
    void syncAndUpdateSizes();

    WaveFormatEx sourceFormat_;
    std::vector<std::uint8_t> outputFormat_;
    std::int32_t outputFormatLength_ = 0;
    std::string formatID_;
    std::string formatTag_;
    // Format of the open file, fixed at init so its header always describes its audio.
    std::vector<std::uint8_t> fileFormat_;

    std::vector<std::uint8_t> sourceBuffer_;
    std::vector<std::uint8_t> destinationBuffer_;
    std::int32_t sourceBufferSize_ = 0;
    std::int32_t destinationBufferSize_ = 0;
    // Bytes of the last block the conversion could not take (part of a frame or codec block),
    // kept at the start of the source buffer for the next one.
    std::uint32_t carried_ = 0;
    acm::AcmStreamHeader header_;
    acm::AcmStreamHandle stream_;
    PosixFile file_;
    int fileError_ = 0;  // errno of the last file that could not be created
    // After file_: finishes its work before the file is closed.
    SyncWorker syncer_;
    bool writeHeader_ = true;
    std::chrono::milliseconds headerUpdateInterval_{1000};
    std::chrono::steady_clock::time_point lastSync_{};
    // Source bytes the stream has taken and bytes it has produced since init; a resampler
    // can hold output back, so the bound on the next block's output is cumulative.
    std::int64_t sourceTaken_ = 0;
    std::int64_t outputMade_ = 0;
    std::string fileName_;
    std::vector<WavMarker> markers_;
    // The side file; its lines are synced with the audio by syncer_.
    PosixFile markerFile_;
};

}  // namespace quillon
