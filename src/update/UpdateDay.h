#pragma once

#include <string>

namespace update {

// The update check runs once on a day after the one it last ran on. Days are compared as decimal
// text: five-digit day numbers order correctly, and a clock set back only delays the next check.
bool CheckDue(const std::string& today, const std::string& lastChecked);

} // namespace update
