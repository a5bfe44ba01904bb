#pragma once

#include <string>

namespace platform {

// The prefix every temporary WAV file of the program starts with.
inline constexpr const char* TempWavPrefix = "~\xC3\x91Q";

// Creates a new, empty file "~ÑQ" + six random characters + ".tmp" in the user's temporary folder
// (TMPDIR honoured), exclusively, and returns its path; empty when no file could be created.
std::string CreateTempWav();

} // namespace platform
