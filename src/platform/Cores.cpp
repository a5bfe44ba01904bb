#include "platform/Cores.h"

#include <algorithm>
#include <sched.h>

namespace platform {

unsigned UsableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return static_cast<unsigned>(std::max(CPU_COUNT(&set), 1));
}

} // namespace platform
