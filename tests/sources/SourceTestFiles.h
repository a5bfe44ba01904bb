#pragma once

#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// Source files made with the real tools at test time.
namespace sourcetest {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

inline const std::string AppDir = PARVANE_APP_DIR;

// The arguments every tagged source gives after the seven, in these (quoted) values appended.
inline Strings Further(Strings args, const Strings& values = Strings(5, "\"\"")) {
    const Strings names = {"AlbumArtist", "Disc", "TrackTotal", "Composer", "Compilation"};
    for (std::size_t i = 0; i < names.size(); ++i)
        args.push_back("-meta:" + names[i] + "=" + values[i]);
    return args;
}

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

// One ID3v2 frame of the given major version: version 2 with three-character IDs and sizes,
// version 3 with plain sizes, version 4 with synchsafe ones.
inline std::string Id3v2Frame(int version, const std::string& id, const std::string& data) {
    const auto size = static_cast<std::uint32_t>(data.size());
    const std::uint32_t stored =
        version == 4 ? (size & 0x7F) | (size & 0x3F80) << 1 | (size & 0x1FC000) << 2 : size;
    const std::string bytes = {static_cast<char>(stored >> 24), static_cast<char>(stored >> 16),
                               static_cast<char>(stored >> 8), static_cast<char>(stored)};
    return version == 2 ? id + bytes.substr(1) + data : id + bytes + std::string(2, '\0') + data;
}

// An ID3v2 tag around these frames, with some padding, as it stands at the start of an MP3.
inline std::string Id3v2Tag(int version, const std::string& frames) {
    const auto size = static_cast<std::uint32_t>(frames.size() + 16);
    return std::string("ID3") + static_cast<char>(version) + std::string(2, '\0') +
           static_cast<char>((size >> 21) & 0x7F) + static_cast<char>((size >> 14) & 0x7F) +
           static_cast<char>((size >> 7) & 0x7F) + static_cast<char>(size & 0x7F) + frames +
           std::string(16, '\0');
}

// An APEv2 tag of these items (UTF-8 text), footer only, as it ends an APE file.
inline std::string ApeTag(const std::vector<std::pair<std::string, std::string>>& items) {
    const auto le32 = [](std::size_t value) {
        std::string bytes;
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        return bytes;
    };
    std::string body;
    for (const auto& [key, value] : items)
        body += le32(value.size()) + le32(0) + key + '\0' + value;
    return body + "APETAGEX" + le32(2000) + le32(body.size() + 32) + le32(items.size()) + le32(0) +
           std::string(8, '\0');
}

// The machine data comments a well-known player writes, ahead of a real one.
inline std::string ItunesComments(int version) {
    const std::string comm = version == 2 ? "COM" : "COMM";
    using namespace std::string_literals;
    return Id3v2Frame(version, comm,
                      "\x00"
                      "engiTunNORM\x00 0000021A 00000230 00002C1E"s) +
           Id3v2Frame(version, comm,
                      "\x01"
                      "eng\xFF\xFEi\x00T\x00u\x00n\x00S\x00M\x00P\x00"
                      "B\x00\x00\x00"
                      "\xFF\xFE"
                      "0\x00 \x00"s);
}

} // namespace sourcetest
