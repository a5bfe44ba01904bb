#pragma once

#include <ctime>

namespace platform {

// The local date at the given moment as a serial day count: 30 December 1899 is day 0, so
// 1 January 1900 is day 2, the count office programs keep dates in.
int LocalDay(std::time_t moment);

// Today's local day.
int LocalDay();

} // namespace platform
