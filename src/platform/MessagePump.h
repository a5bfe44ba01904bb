#pragma once

#include <functional>

namespace platform {

// The window installs its event processing here; the console runner calls it between polls so
// the window stays responsive while a tool runs. Without a pump nothing happens.
void SetMessagePump(std::function<void()> pump);
void PumpMessages();

} // namespace platform
