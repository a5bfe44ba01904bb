#pragma once

#include <string>

namespace platform {

// The prefix every temporary WAV file of the program starts with.
inline constexpr const char* TempWavPrefix = "~\xC3\x91Q";

// The user's temporary folder (TMPDIR honoured); empty when there is none.
std::string TempFolder();

// Creates a new, empty file "~ÑQ" + six random characters + ".tmp" in the user's temporary folder
// (TMPDIR honoured), exclusively, and returns its path; empty when no file could be created.
std::string CreateTempWav();

// A temporary file made like the temporary WAV, removed with its owner whatever ends the run.
class TTempFile {
public:
    TTempFile() = default;
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile() { Remove(); }

    // Replaces any file held before; false when none could be created.
    bool Create();
    void Remove();
    // Empty while no file is held.
    const std::string& Path() const { return FilePath; }

private:
    std::string FilePath;
};

} // namespace platform
