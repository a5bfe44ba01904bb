#pragma once

#include <string>

namespace platform {

// The path of the running executable; empty when the system cannot tell.
std::string ExecutablePath();

} // namespace platform
