#pragma once

#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// Source files made with the real tools at test time.
namespace sourcetest {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

inline const std::string AppDir = PARVANE_APP_DIR;

inline std::string Ape(const std::string& name) {
    return tooltest::TestData("ape/" + name);
}

// A sine of these seconds at 44.1 kHz stereo, encoded by flac and tagged with metaflac's
// --set-tag NAME=value, one tag a value, in order.
inline std::string MakeFlac(const fs::path& path, double seconds, const Strings& tags = {}) {
    const fs::path wav = path.string() + ".in.wav";
    tooltest::WriteWav(wav, {}, static_cast<std::uint64_t>(seconds * 44100));
    EXPECT_EQ(tooltest::RunTool({AppDir + "flac", "-s", "-f", "-o", path.string(), wav.string()})
                  .ExitCode,
              0);
    fs::remove(wav);
    for (const std::string& tag : tags)
        EXPECT_EQ(
            tooltest::RunTool({AppDir + "metaflac", "--set-tag=" + tag, path.string()}).ExitCode,
            0);
    return path.string();
}

// A sine encoded by lame with these options (tags among them).
inline std::string MakeMp3(const fs::path& path, double seconds, const Strings& options = {}) {
    const fs::path wav = path.string() + ".in.wav";
    tooltest::WriteWav(wav, {}, static_cast<std::uint64_t>(seconds * 44100));
    Strings argv = {AppDir + "lame", "--quiet"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {wav.string(), path.string()});
    EXPECT_EQ(tooltest::RunTool(argv).ExitCode, 0);
    fs::remove(wav);
    return path.string();
}

} // namespace sourcetest
