#include "platform/MessagePump.h"

#include <utility>

namespace platform {

namespace {
std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}
} // namespace

void SetMessagePump(std::function<void()> pump) {
    Pump() = std::move(pump);
}

void PumpMessages() {
    if (Pump())
        Pump()();
}

} // namespace platform
