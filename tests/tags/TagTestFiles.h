#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Bytes written inline as a string, seen as the bytes a reader takes.
inline std::span<const std::uint8_t> AsBytes(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// A fresh folder under the temporary folder, removed with everything in it.
class TTempFolder {
public:
    TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    ~TTempFolder();

    std::string File(const std::string& name) const { return (Path / name).string(); }

private:
    std::filesystem::path Path;
};

void WriteFile(const std::string& path, const std::string& bytes);

// A second of 44.1 kHz stereo silence as a PCM WAV file.
void WriteSilentWav(const std::string& path);

// Runs a tool of the application folder with these arguments; its exit code, -1 when it could not
// run.
int RunTool(const std::string& tool, const std::vector<std::string>& arguments);
