#include "encoder/codecs/BlockCodecConverter.h"

#include <algorithm>
#include <limits>

namespace quillon::acm {

namespace {
std::uint32_t clampToU32(std::uint64_t value)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}
}  // namespace

BlockCodecConverter::BlockCodecConverter(const WaveFormatEx& source, std::unique_ptr<BlockEncoder> encoder,
                                         std::unique_ptr<AcmCodec> front)
    : source_(source), encoder_(std::move(encoder)), front_(std::move(front))
{
    pending_.reserve(encoder_->samplesPerBlock() * 2);
}

std::uint32_t BlockCodecConverter::sourceBlockAlign() const
{
    if (front_) {
        return source_.nBlockAlign;
    }
    return clampToU32(encoder_->framesPerBlock() * source_.nBlockAlign);
}

std::uint32_t BlockCodecConverter::destinationSize(std::uint32_t sourceBytes) const
{
    const std::uint64_t pcmFrames = front_ ? front_->destinationSize(sourceBytes) /
                                                 (std::uint64_t{2} * static_cast<std::uint64_t>(encoder_->channels()))
                                           : sourceBytes / source_.nBlockAlign;
    // One more block for what is pending from before, one for the padded tail.
    const std::uint64_t blocks = pcmFrames / encoder_->framesPerBlock() + 2;
    return clampToU32(blocks * encoder_->bytesPerBlock());
}

std::uint32_t BlockCodecConverter::sourceSize(std::uint32_t destinationBytes) const
{
    const std::uint64_t blocks = destinationBytes / encoder_->bytesPerBlock();
    if (front_) {
        return front_->sourceSize(clampToU32(blocks * encoder_->samplesPerBlock() * 2));
    }
    return clampToU32(blocks * sourceBlockAlign());
}

void BlockCodecConverter::appendPcm(std::span<const std::uint8_t> bytes)
{
    const std::size_t count = bytes.size() / 2;
    const std::size_t at = pending_.size();
    pending_.resize(at + count);
    for (std::size_t i = 0; i < count; ++i) {
        pending_[at + i] = static_cast<std::int16_t>(getLE16(bytes.data() + 2 * i));
    }
}

std::size_t BlockCodecConverter::encodePending(std::span<std::uint8_t> destination, bool end)
{
    const std::size_t perBlock = encoder_->samplesPerBlock();
    if (end && pending_.size() % perBlock != 0) {
        // The last block of the recording: silence fills it up.
        pending_.resize((pending_.size() / perBlock + 1) * perBlock, 0);
    }
    const std::size_t blocks = std::min(pending_.size() / perBlock, destination.size() / encoder_->bytesPerBlock());
    const std::size_t written =
        encoder_->encode(std::span<const std::int16_t>(pending_.data(), blocks * perBlock), destination);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(blocks * perBlock));
    return written;
}

std::optional<AcmCodec::Converted> BlockCodecConverter::convert(std::span<const std::uint8_t> source,
                                                                std::span<std::uint8_t> destination, bool end)
{
    const std::size_t frameBytes = source_.nBlockAlign;
    std::size_t take = source.size() - source.size() % frameBytes;
    if (ended_ && take > 0) {
        return std::nullopt;  // the stream was drained; nothing may follow
    }
    if (front_) {
        const std::size_t room = front_->destinationSize(static_cast<std::uint32_t>(take));
        if (frontOut_.size() < room) {
            frontOut_.resize(room);
        }
        const auto made = front_->convert(source.first(take), frontOut_, end);
        if (!made) {
            return std::nullopt;
        }
        take = made->sourceUsed;
        appendPcm(std::span<const std::uint8_t>(frontOut_.data(), made->destinationUsed));
    } else {
        // Take no more whole blocks than the destination holds, so nothing piles up here.
        const std::size_t align = sourceBlockAlign();
        const std::size_t roomBlocks = destination.size() / encoder_->bytesPerBlock();
        const std::size_t blocks = (take + align - 1) / align;
        if (blocks > roomBlocks) {
            take = roomBlocks * align;
        }
        appendPcm(source.first(take));
    }
    const std::size_t written = encodePending(destination, end);
    if (end) {
        ended_ = true;
    }
    return Converted{static_cast<std::uint32_t>(take), static_cast<std::uint32_t>(written)};
}

}  // namespace quillon::acm
