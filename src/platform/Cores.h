#pragma once

namespace platform {

// The cores this process may run on (its affinity, not the machine's count); at least one.
unsigned UsableCores();

} // namespace platform
