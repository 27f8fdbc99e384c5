#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "recording/ClockTime.h"
#include "recording/SoundTrigger.h"

namespace quillon {
namespace {

// What the trigger handed over: each take's first frame, its frames, and how it ended.
struct Take {
    std::int64_t first = 0;
    std::int64_t frames = 0;
    bool ended = false;
    bool contiguous = true;  // every written frame followed the one before
};

class Takes final : public SoundTriggerSink {
public:
    explicit Takes(std::int16_t channels) : channels_(channels) {}
    void TakeStarted(std::int64_t firstFrame) override { takes.push_back({firstFrame}); }
    void Write(std::span<const std::int16_t> samples) override
    {
        auto& take = takes.back();
        for (std::size_t i = 0; i < samples.size(); i += static_cast<std::size_t>(channels_)) {
            // The processed audio carries its frame number, so a wrong frame shows.
            const auto expected = static_cast<std::int16_t>((take.first + take.frames) % 30000);
            take.contiguous = take.contiguous && samples[i] == expected;
            ++take.frames;
        }
    }
    void TakeEnded(bool) override { takes.back().ended = true; }
    std::vector<Take> takes;

private:
    std::int16_t channels_;
};

struct Burst {
    double from;  // seconds
    double to;
    double dbfs;
};

struct Scenario {
    const char* name;
    std::vector<Burst> bursts;
    double seconds;
    SoundTriggerSettings settings;
    std::vector<Take> expected;  // in seconds * 1000 (ms) for first and length; ended
    bool finished;
};

TEST(SoundTrigger, TakesFollowThePreRollSilenceAndSplitRules)
{
    const auto silenceAfter = [](double s) { return std::optional<double>(s); };
    const std::vector<Scenario> scenarios = {
        {"pre-roll counted back from the onset; silent tail kept up to the stop",
         {{1.0, 2.0, -10}},
         4.0,
         {-30, 0.5, silenceAfter(1.0), false},
         {{500, 2500, true}},
         true},
        {"no pre-roll: the take still begins at the onset, its first burst complete",
         {{1.0, 2.0, -10}},
         3.0,
         {-30, 0.0, silenceAfter(0.5), false},
         {{1000, 1500, true}},
         true},
        {"split: the next pre-roll never reaches back into the previous take",
         {{1.0, 1.5, -10}, {2.5, 3.0, -10}},
         4.5,
         {-30, 2.0, silenceAfter(0.5), true},
         {{0, 2000, true}, {2000, 1500, true}},
         false},
        {"a 30 ms blip does not start a take", {{1.0, 1.03, -6}}, 2.0, {-30, 0.5, silenceAfter(0.5), false}, {}, false},
        {"without a silence rule the take goes on until stopped",
         {{0.5, 1.0, -10}},
         3.0,
         {-30, 0.25, std::nullopt, false},
         {{250, 2750, false}},
         false},
        {"sound between the stop level and the trigger keeps the take going",
         {{1.0, 1.5, -10}, {1.5, 2.5, -31.5}},
         4.0,
         {-30, 0.0, silenceAfter(0.5), false},
         {{1000, 2000, true}},
         true},
        {"sound under the trigger never starts one",
         {{0.5, 2.0, -31}},
         3.0,
         {-30, 0.5, silenceAfter(0.5), false},
         {},
         false},
    };
    constexpr std::int32_t rate = 8000;
    for (const std::int16_t channels : {std::int16_t{1}, std::int16_t{2}}) {
        for (const auto& sc : scenarios) {
            const auto frames = static_cast<std::size_t>(sc.seconds * rate);
            std::vector<std::int16_t> captured(frames * static_cast<std::size_t>(channels), 0);
            std::vector<std::int16_t> processed(captured.size());
            for (std::size_t f = 0; f < frames; ++f) {
                const double t = static_cast<double>(f) / rate;
                double amp = 0;
                for (const auto& b : sc.bursts) {
                    if (t >= b.from && t < b.to) {
                        amp = 32767.0 * std::pow(10.0, b.dbfs / 20.0);
                    }
                }
                for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
                    // A square wave: its peak is its level in every 10 ms window.
                    captured[f * static_cast<std::size_t>(channels) + c] =
                        static_cast<std::int16_t>(f % 2 == 0 ? amp : -amp);
                    processed[f * static_cast<std::size_t>(channels) + c] = static_cast<std::int16_t>(f % 30000);
                }
            }
            SoundTrigger trigger(sc.settings, rate, channels);
            Takes takes(channels);
            // Capture blocks of an odd size, so windows and takes straddle them.
            const std::size_t block = 333 * static_cast<std::size_t>(channels);
            for (std::size_t at = 0; at < captured.size(); at += block) {
                const auto n = std::min(block, captured.size() - at);
                trigger.Process(std::span(captured).subspan(at, n), std::span(processed).subspan(at, n), takes);
            }
            SCOPED_TRACE(std::string(sc.name) + (channels == 1 ? " (mono)" : " (stereo)"));
            ASSERT_EQ(takes.takes.size(), sc.expected.size());
            for (std::size_t i = 0; i < sc.expected.size(); ++i) {
                EXPECT_EQ(takes.takes[i].first, sc.expected[i].first * rate / 1000) << "take " << i;
                EXPECT_EQ(takes.takes[i].frames, sc.expected[i].frames * rate / 1000) << "take " << i;
                EXPECT_EQ(takes.takes[i].ended, sc.expected[i].ended) << "take " << i;
                EXPECT_TRUE(takes.takes[i].contiguous) << "take " << i;
            }
            EXPECT_EQ(trigger.Finished(), sc.finished);
        }
    }
}

TEST(ClockTime, ParsesTheTimesOfDayAndFindsTheNextSuchMoment)
{
    const QDateTime now(QDate(2026, 3, 10), QTime(12, 30, 0));
    const struct {
        const char* text;
        const char* next;  // "" when refused
    } rows[] = {
        {"13:00", "2026-03-10T13:00:00"},
        {"12:30", "2026-03-11T12:30:00"},  // now is not "next"
        {"7:05:09", "2026-03-11T07:05:09"},
        {" 23:59:59 ", "2026-03-10T23:59:59"},
        {"24:00", ""},
        {"12:60", ""},
        {"12", ""},
        {"12:5", ""},
        {"12:00:00:00", ""},
        {"noon", ""},
        {"", ""},
    };
    for (const auto& row : rows) {
        const auto time = ParseClockTime(QString::fromUtf8(row.text));
        EXPECT_EQ(time.has_value(), *row.next != '\0') << row.text;
        if (time) {
            EXPECT_EQ(NextMoment(*time, now).toString(Qt::ISODate).toStdString(), row.next) << row.text;
        }
    }
}

}  // namespace
}  // namespace quillon
