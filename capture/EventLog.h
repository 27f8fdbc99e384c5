#pragma once

#include <string>

namespace quillon {

// Where the hook facility records its failures (the system log by default), so
// tests can read the entries instead.
class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void error(const std::string& text) = 0;
};

EventLog& eventLog();
// Installs `log` (not owned; must outlive its use). nullptr restores the system log.
void setEventLog(EventLog* log);

}  // namespace quillon
