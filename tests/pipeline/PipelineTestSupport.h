#pragma once

#include "platform/TempFile.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pipelinetest {

// Points TMPDIR at a folder of the test's own for as long as it lives, so that the temporary
// WAVs of a run can be counted.
class TScopedTmpDir {
public:
    explicit TScopedTmpDir(const std::filesystem::path& folder) {
        if (const char* old = std::getenv("TMPDIR"))
            Old = old;
        std::filesystem::create_directories(folder);
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TScopedTmpDir() {
        if (Old)
            setenv("TMPDIR", Old->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    TScopedTmpDir(const TScopedTmpDir&) = delete;
    TScopedTmpDir& operator=(const TScopedTmpDir&) = delete;

private:
    std::optional<std::string> Old;
};

// The program's temporary WAVs in a folder.
inline std::vector<std::string> TempWavs(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(platform::TempWavPrefix) && name.ends_with(".tmp"))
            names.push_back(name);
    }
    return names;
}

} // namespace pipelinetest
