#pragma once

#include <string>

namespace platform {

// The folder of the running executable, with a trailing '/'. Tools are looked up here only.
std::string AppFolder();

} // namespace platform
