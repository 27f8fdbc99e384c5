#include "encoder/codecs/CodecDrivers.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

#include "encoder/acm/AcmPcm.h"
#include "encoder/acm/AcmStream.h"
#include "encoder/codecs/BlockCodecConverter.h"
#include "encoder/codecs/FormatRecord.h"
#include "encoder/codecs/G711Encoder.h"
#include "encoder/codecs/GsmEncoder.h"
#include "encoder/codecs/ImaAdpcmEncoder.h"
#include "encoder/codecs/MsAdpcmEncoder.h"

namespace quillon::acm {

namespace {

struct Shape {
    std::uint32_t rate;
    std::uint16_t channels;
};

// What one codec family contributes; the driver below does the rest the same way for all.
struct CodecFamily {
    std::uint16_t tag;
    std::string name;
    std::uint16_t bits;  // as the chooser describes the format; 0 for none
    std::function<std::vector<Shape>(const WaveFormatEx& source)> shapes;
    std::function<std::unique_ptr<BlockEncoder>(Shape)> make;
};

// The classic codec rates, plus the capture rate so a recording needs no resampling.
std::vector<Shape> commonShapes(const WaveFormatEx& source)
{
    std::vector<std::uint32_t> rates = {8000, 11025, 22050, 44100};
    if (std::find(rates.begin(), rates.end(), source.nSamplesPerSec) == rates.end()) {
        rates.insert(std::upper_bound(rates.begin(), rates.end(), source.nSamplesPerSec), source.nSamplesPerSec);
    }
    std::vector<Shape> shapes;
    for (const std::uint32_t rate : rates) {
        for (const std::uint16_t channels : std::initializer_list<std::uint16_t>{1, 2}) {
            shapes.push_back({rate, channels});
        }
    }
    return shapes;
}

std::string describe(const CodecFamily& family, Shape shape)
{
    if (family.bits != 0) {
        return acmPcmDescription(shape.rate, family.bits, shape.channels);
    }
    std::string text = acmPcmDescription(shape.rate, 16, shape.channels);
    // No bit depth to speak of: "8 kHz Mono".
    const auto bit = text.find(" 16 Bit");
    return text.erase(bit, 7);
}

class BlockCodecDriver final : public AcmDriver {
public:
    explicit BlockCodecDriver(CodecFamily family) : family_(std::move(family)) {}

    [[nodiscard]] std::vector<AcmFormatTag> formatTags() const override { return {{family_.tag, family_.name}}; }

    [[nodiscard]] std::unique_ptr<AcmCodec> open(const WaveFormatEx& source,
                                                 std::span<const std::uint8_t> destination) const override
    {
        const auto wanted = WaveFormatEx::parse(destination);
        if (!wanted || wanted->wFormatTag != family_.tag || wanted->nSamplesPerSec < kAcmMinRate ||
            wanted->nSamplesPerSec > kAcmMaxRate || (wanted->nChannels != 1 && wanted->nChannels != 2)) {
            return nullptr;
        }
        const Shape shape{wanted->nSamplesPerSec, wanted->nChannels};
        std::unique_ptr<BlockEncoder> encoder;
        try {
            encoder = family_.make(shape);
        } catch (const std::exception&) {
            return nullptr;
        }
        if (!sameLayout(encoder->format(), destination)) {
            return nullptr;
        }
        std::unique_ptr<AcmCodec> front;
        if (shape.rate != source.nSamplesPerSec || shape.channels != source.nChannels) {
            front = makePcmDriver()->open(source, acmPcmFormat(shape.rate, shape.channels, 16, false));
            if (!front) {
                return nullptr;
            }
        }
        return std::make_unique<BlockCodecConverter>(source, std::move(encoder), std::move(front));
    }

    [[nodiscard]] std::vector<AcmFormatDetails> formats(const WaveFormatEx& source) const override
    {
        std::vector<AcmFormatDetails> list;
        for (const Shape shape : family_.shapes(source)) {
            list.push_back({family_.tag, family_.name, describe(family_, shape), family_.make(shape)->format()});
        }
        return list;
    }

private:
    // A record is ours to write when it matches what the codec writes in everything but the
    // byte rate, which other writers round differently and nothing decodes with.
    static bool sameLayout(const std::vector<std::uint8_t>& ours, std::span<const std::uint8_t> theirs)
    {
        if (ours.size() != theirs.size()) {
            return false;
        }
        for (std::size_t i = 0; i < ours.size(); ++i) {
            if ((i < 8 || i >= 12) && ours[i] != theirs[i]) {
                return false;
            }
        }
        return true;
    }

    CodecFamily family_;
};

const std::vector<CodecFamily>& codecFamilies()
{
    static const std::vector<CodecFamily> families = [] {
        std::vector<CodecFamily> list;
        list.push_back({WAVE_FORMAT_ALAW, "CCITT A-Law", 8, commonShapes, [](Shape s) {
                            return std::make_unique<G711Encoder>(G711Encoder::Law::ALaw, s.rate, s.channels);
                        }});
        list.push_back({WAVE_FORMAT_MULAW, "CCITT u-Law", 8, commonShapes, [](Shape s) {
                            return std::make_unique<G711Encoder>(G711Encoder::Law::MuLaw, s.rate, s.channels);
                        }});
        list.push_back({WAVE_FORMAT_IMA_ADPCM, "IMA ADPCM", 4, commonShapes,
                        [](Shape s) { return std::make_unique<ImaAdpcmEncoder>(s.rate, s.channels); }});
        list.push_back({WAVE_FORMAT_ADPCM, "Microsoft ADPCM", 4, commonShapes,
                        [](Shape s) { return std::make_unique<MsAdpcmEncoder>(s.rate, s.channels); }});
        list.push_back({WAVE_FORMAT_GSM610, "GSM 6.10", 0,
                        [](const WaveFormatEx&) {
                            return std::vector<Shape>{{GsmEncoder::kRate, 1}};
                        },
                        [](Shape s) -> std::unique_ptr<BlockEncoder> {
                            if (s.rate != GsmEncoder::kRate || s.channels != 1) {
                                throw std::invalid_argument("GSM 6.10 is 8000 Hz mono");
                            }
                            return std::make_unique<GsmEncoder>();
                        }});
        return list;
    }();
    return families;
}

}  // namespace

std::vector<std::unique_ptr<AcmDriver>> makeCodecDrivers()
{
    std::vector<std::unique_ptr<AcmDriver>> drivers;
    for (auto family : codecFamilies()) {
        drivers.push_back(std::make_unique<BlockCodecDriver>(std::move(family)));
    }
    return drivers;
}

std::optional<AcmFormatDetails> acmCodecFormat(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels)
{
    if (rate < kAcmMinRate || rate > kAcmMaxRate) {
        return std::nullopt;
    }
    for (const auto& family : codecFamilies()) {
        if (family.tag != tag) {
            continue;
        }
        try {
            const Shape shape{rate, channels};
            return AcmFormatDetails{family.tag, family.name, describe(family, shape), family.make(shape)->format()};
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace quillon::acm
