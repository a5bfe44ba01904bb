#pragma once

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tooltest {

namespace fs = std::filesystem;

// The path of a program in the application folder.
std::string Tool(const std::string& name);
std::string TestData(const std::string& name);

struct TScopedFolder {
    fs::path Path;
    TScopedFolder();
    ~TScopedFolder();
    TScopedFolder(const TScopedFolder&) = delete;
    TScopedFolder& operator=(const TScopedFolder&) = delete;
    fs::path operator/(const std::string& name) const { return Path / name; }
    // The names in the folder, hidden ones included, sorted.
    std::vector<std::string> Names() const;
    // Makes the subfolder and mounts a small tmpfs on it, in a mount namespace of this test
    // process alone; false when the process may not.
    bool MountSmallTmpfs(const std::string& name, const std::string& size);

private:
    std::vector<fs::path> Mounts;
};

struct TRunOptions {
    int TimeoutMs = 60000;
    // Run as an unprivileged user, so that permissions hold even when the tests run as root.
    bool Unprivileged = false;
    // A limit on the size of any file the program writes (it gets EFBIG beyond it).
    long long FileSizeLimit = -1;
    // Send Signal once standard error holds this text.
    std::string SignalWhen;
    int Signal = SIGTERM;
};

struct TRunResult {
    int ExitCode = -1; // -1 when ended by a signal
    int Signal = 0;
    bool TimedOut = false;
    std::string Out;
    std::string Err;
    double Seconds = 0;
};

// Runs a program without a shell, stdin empty, stdout and stderr captured.
TRunResult RunTool(const std::vector<std::string>& argv, const TRunOptions& options = {});
// Runs a program on the process's hidden terminal and keeps every screen snapshot.
std::vector<std::vector<std::string>> RunOnScreen(const std::vector<std::string>& argv);

// prefix, the number and suffix joined (test file names, expected titles).
std::string Numbered(const std::string& prefix, long long number, const std::string& suffix = "");

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);

// ffprobe -show_entries ENTRIES in key=value form; section prefixes are dropped, tags keep
// their "TAG:" prefix.
std::map<std::string, std::string> Probe(const fs::path& file, const std::string& entries);

// The iTunes-style atoms of an MP4 as mutagen reads them: "trkn" and "disk" as n/m, flags and
// numbers in decimal, freeform atoms ("----:com.apple.iTunes:iTunSMPB") as their text.
std::map<std::string, std::string> Mp4Atoms(const fs::path& file);
// The types of the file's top-level boxes, in their order.
std::vector<std::string> TopLevelBoxes(const fs::path& file);

struct TChapter {
    double Start = 0;
    double End = 0;
    std::string Title;
};
std::vector<TChapter> Chapters(const fs::path& file);

// The decoded audio as interleaved floats.
std::vector<float> DecodeFloat(const fs::path& file);
// The MD5 of the audio packets as stream copy passes them on.
std::string AudioPacketMd5(const fs::path& file);
// The bytes in the file's covr atom, as FFmpeg reads them back; empty without a cover.
std::string CoverBytes(const fs::path& mp4);
// A test picture of this size ("8x8"), its kind from the name's extension; the path.
fs::path MakeImage(const TScopedFolder& dir, const std::string& name, const std::string& size);

struct TWavSpec {
    int Channels = 2;
    int Rate = 44100;
    int Bits = 16;
    bool Float = false;
    bool Extensible = false;
    // An odd-sized LIST chunk (with its pad byte) between the format and the data chunks.
    bool ListBeforeData = false;
    // The data size field written as this instead of the real size (0 or 0xFFFFFFFF).
    bool OpenDataSize = false;
    std::uint32_t OpenDataValue = 0xFFFFFFFFu;
};

enum class TSignal { Sine, Noise };

// Writes frames of a sine (amplitude 0.5) or of noise to a WAV of the given layout; returns the
// samples as written, interleaved, scaled to -1..1.
std::vector<double> WriteWav(const fs::path& path, const TWavSpec& spec, std::uint64_t frames,
                             TSignal signal = TSignal::Sine, double frequency = 1000);

double Rms(const std::vector<double>& samples, std::size_t from, std::size_t to);
// The frequency of a tone from its rising zero crossings in one channel.
double ToneFrequency(const std::vector<float>& interleaved, int channels, int channel, int rate);

// The APE source's reading of a "Progress: " line: the first ten characters dropped, cut at the
// first '.' after the first character (else the last character dropped), read as an integer.
bool ApeProgressValue(const std::string& line, int& value);
// The MP4 job's reading of the encoder's screen: with more than five lines, the second token
// of the last line, split at blanks and commas, when it is all digits.
// A screen line cut at blanks and commas, as the job cuts the encoder's lines.
std::vector<std::string> BlankOrCommaTokens(const std::string& line);
bool EncoderSecondsValue(const std::vector<std::string>& screen, long& value);

} // namespace tooltest
