#pragma once

#include <QCoreApplication>

#include <string>
#include <vector>

#include "capture/EventLog.h"

namespace quillon::test {

// Delivers every message posted so far, as the UI thread's message loop would.
inline void deliverPosted()
{
    QCoreApplication::sendPostedEvents();
}

// Collects the hook facility's log entries instead of writing to the system log.
class RecordingEventLog final : public EventLog {
public:
    RecordingEventLog() { setEventLog(this); }
    ~RecordingEventLog() override { setEventLog(nullptr); }
    RecordingEventLog(const RecordingEventLog&) = delete;
    RecordingEventLog& operator=(const RecordingEventLog&) = delete;

    void error(const std::string& text) override { entries.push_back(text); }

    std::vector<std::string> entries;
};

}  // namespace quillon::test
