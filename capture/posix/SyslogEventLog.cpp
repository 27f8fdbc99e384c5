#include <syslog.h>

#include "capture/EventLog.h"

namespace quillon {
namespace {

class SyslogEventLog final : public EventLog {
public:
    void error(const std::string& text) override
    {
        ::openlog("Quillon", LOG_PID, LOG_USER);
        ::syslog(LOG_ERR, "%s", text.c_str());
    }
};

SyslogEventLog systemLog;
EventLog* installed = &systemLog;

}  // namespace

EventLog& eventLog()
{
    return *installed;
}

void setEventLog(EventLog* log)
{
    installed = log != nullptr ? log : &systemLog;
}

}  // namespace quillon
