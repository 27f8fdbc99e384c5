#pragma once

#include <QTime>

#include <optional>

#include "recording/SoundTrigger.h"

namespace quillon {

// The window's hands-free settings, kept for the session like the effects settings.
struct HandsFreeSettings {
    bool soundActivated = false;
    SoundTriggerSettings trigger;
    std::optional<QTime> startAt;
    std::optional<QTime> stopAt;
};

}  // namespace quillon
