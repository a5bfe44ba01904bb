#include "ToolTestSupport.h"

#include "pipeline/Cons.h"
#include "platform/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <random>
#include <sched.h>
#include <sstream>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tooltest {

namespace {

constexpr uid_t Nobody = 65534;

void Put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

std::string Tool(const std::string& name) {
    return std::string(PARVANE_APP_DIR) + name;
}

std::string TestData(const std::string& name) {
    return std::string(PARVANE_TESTDATA_DIR) + "/" + name;
}

TScopedFolder::TScopedFolder() {
    std::string pattern = (fs::temp_directory_path() / "parvane-tools-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    Path = pattern;
    // Open to the unprivileged user some tests run the tools as.
    fs::permissions(Path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

TScopedFolder::~TScopedFolder() {
    std::error_code ec;
    fs::permissions(Path, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& mount : Mounts)
        umount2(mount.c_str(), MNT_DETACH);
    fs::remove_all(Path, ec);
}

std::vector<std::string> TScopedFolder::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TRunResult RunTool(const std::vector<std::string>& argv, const TRunOptions& options) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const bool dropPrivileges = options.Unprivileged && geteuid() == 0;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (options.FileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(options.FileSizeLimit),
                         static_cast<rlim_t>(options.FileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (dropPrivileges &&
            (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0))
            _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    TRunResult result;
    bool signalled = options.SignalWhen.empty();
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        if (elapsed > options.TimeoutMs && !result.TimedOut) {
            result.TimedOut = true;
            kill(pid, SIGKILL);
        }
        if (poll(fds, 2, 100) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.Out : result.Err).append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
        if (!signalled && result.Err.find(options.SignalWhen) != std::string::npos) {
            kill(pid, options.Signal);
            signalled = true;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.Signal = WTERMSIG(status);
    return result;
}

std::vector<std::vector<std::string>> RunOnScreen(const std::vector<std::string>& argv) {
    std::string commandLine;
    for (const auto& a : argv) {
        if (!commandLine.empty())
            commandLine += ' ';
        commandLine += platform::QuoteText(a);
    }
    std::vector<std::vector<std::string>> screens;
    TCons cons;
    cons.OnPoll = [&](TCons& c) { screens.push_back(c.ScreenLines); };
    if (!cons.Run("test", commandLine, "0", false))
        throw std::runtime_error("the console could not start " + argv[0]);
    return screens;
}

std::string Numbered(const std::string& prefix, long long number, const std::string& suffix) {
    std::string text = prefix;
    text += std::to_string(number);
    text += suffix;
    return text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::map<std::string, std::string> Probe(const fs::path& file, const std::string& entries) {
    auto r = RunTool({"/usr/bin/ffprobe", "-v", "error", "-show_entries", entries, "-of",
                      "default=noprint_wrappers=1", file.string()});
    std::map<std::string, std::string> values;
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return values;
}

std::map<std::string, std::string> Mp4Atoms(const fs::path& file) {
    static const char* const Script = R"(
import sys, mutagen.mp4
tags = mutagen.mp4.MP4(sys.argv[1]).tags or {}
for key, values in tags.items():
    value = values[0] if isinstance(values, list) else values
    if isinstance(value, tuple):
        value = '%d/%d' % value
    elif isinstance(value, bool):
        value = '1' if value else '0'
    elif isinstance(value, bytes):
        value = bytes(value).decode('utf-8', 'replace')
    sys.stdout.buffer.write(('%s=%s\0' % (key, value)).encode('utf-8'))
)";
    // The system's own interpreter, which has the Debian package's mutagen.
    const auto r = RunTool({"/usr/bin/python3", "-c", Script, file.string()});
    std::map<std::string, std::string> atoms;
    std::istringstream entries(r.Out);
    for (std::string entry; std::getline(entries, entry, '\0');) {
        const auto eq = entry.find('=');
        if (eq != std::string::npos)
            atoms.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    if (r.ExitCode != 0)
        atoms.emplace("(error)", r.Err);
    return atoms;
}

std::vector<std::string> TopLevelBoxes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> types;
    for (unsigned char head[16]; in.read(reinterpret_cast<char*>(head), 8);) {
        std::uint64_t size = 0;
        for (int i = 0; i < 4; ++i)
            size = size << 8 | head[i];
        std::uint64_t header = 8;
        if (size == 1 && in.read(reinterpret_cast<char*>(head) + 8, 8)) {
            size = 0;
            for (int i = 8; i < 16; ++i)
                size = size << 8 | head[i];
            header = 16;
        }
        types.emplace_back(reinterpret_cast<const char*>(head) + 4, 4);
        if (size < header)
            break;
        in.seekg(static_cast<std::streamoff>(size - header), std::ios::cur);
    }
    return types;
}

std::vector<TChapter> Chapters(const fs::path& file) {
    auto r = RunTool(
        {"/usr/bin/ffprobe", "-v", "error", "-show_chapters", "-of", "default", file.string()});
    std::vector<TChapter> chapters;
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);) {
        if (line == "[CHAPTER]")
            chapters.emplace_back();
        else if (line.rfind("start_time=", 0) == 0)
            chapters.back().Start = std::stod(line.substr(11));
        else if (line.rfind("end_time=", 0) == 0)
            chapters.back().End = std::stod(line.substr(9));
        else if (line.rfind("TAG:title=", 0) == 0)
            chapters.back().Title = line.substr(10);
    }
    return chapters;
}

std::vector<float> DecodeFloat(const fs::path& file) {
    auto r = RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", file.string(), "-map",
                      "0:a:0", "-f", "f32le", "-"});
    std::vector<float> samples(r.Out.size() / sizeof(float));
    std::memcpy(samples.data(), r.Out.data(), samples.size() * sizeof(float));
    return samples;
}

std::string AudioPacketMd5(const fs::path& file) {
    auto r = RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", file.string(), "-map",
                      "0:a", "-c", "copy", "-f", "md5", "-"});
    return r.Out;
}

std::string CoverBytes(const fs::path& mp4) {
    return RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", mp4.string(), "-map",
                    "0:v?", "-c", "copy", "-f", "data", "-"})
        .Out;
}

fs::path MakeImage(const TScopedFolder& dir, const std::string& name, const std::string& size) {
    const auto path = dir / name;
    if (RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i",
                 "testsrc=size=" + size, "-frames:v", "1", path.string()})
            .ExitCode != 0)
        throw std::runtime_error("ffmpeg could not make " + path.string());
    return path;
}

std::vector<double> WriteWav(const fs::path& path, const TWavSpec& spec, std::uint64_t frames,
                             TSignal signal, double frequency) {
    std::vector<double> samples(frames * static_cast<std::uint64_t>(spec.Channels));
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    for (std::uint64_t f = 0; f < frames; ++f)
        for (int c = 0; c < spec.Channels; ++c) {
            const double t = static_cast<double>(f) / spec.Rate;
            samples[f * spec.Channels + c] =
                signal == TSignal::Sine ? 0.5 * std::sin(2 * M_PI * frequency * t) : noise(random);
        }
    const int bytes = spec.Bits / 8;
    std::string data;
    data.reserve(samples.size() * bytes);
    for (double& s : samples) {
        if (spec.Float && spec.Bits == 32) {
            const float v = static_cast<float>(s);
            data.append(reinterpret_cast<const char*>(&v), 4);
            s = v;
        } else if (spec.Float) {
            data.append(reinterpret_cast<const char*>(&s), 8);
        } else if (spec.Bits == 8) {
            const long v = std::lround(s * 127);
            Put(data, static_cast<std::uint64_t>(v + 128), 1);
            s = v / 128.0;
        } else {
            const double scale = std::ldexp(1.0, spec.Bits - 1);
            const long long v = std::llround(s * (scale - 1));
            Put(data, static_cast<std::uint64_t>(v), bytes);
            s = static_cast<double>(v) / scale;
        }
    }
    std::string fmt;
    const unsigned tag = spec.Extensible ? 0xFFFE : spec.Float ? 3 : 1;
    Put(fmt, tag, 2);
    Put(fmt, static_cast<std::uint64_t>(spec.Channels), 2);
    Put(fmt, static_cast<std::uint64_t>(spec.Rate), 4);
    Put(fmt, static_cast<std::uint64_t>(spec.Rate * spec.Channels * bytes), 4);
    Put(fmt, static_cast<std::uint64_t>(spec.Channels * bytes), 2);
    Put(fmt, static_cast<std::uint64_t>(spec.Bits), 2);
    if (spec.Extensible) {
        Put(fmt, 22, 2);
        Put(fmt, static_cast<std::uint64_t>(spec.Bits), 2);
        Put(fmt, spec.Channels == 2 ? 3 : 4, 4);
        Put(fmt, spec.Float ? 3 : 1, 2);
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string body = "WAVEfmt ";
    Put(body, fmt.size(), 4);
    body += fmt;
    if (spec.ListBeforeData) {
        const std::string info = "INFOISFT\x07\x00\x00\x00parvane";
        body += "LIST";
        Put(body, info.size(), 4);
        body += info + '\0';
    }
    body += "data";
    Put(body, spec.OpenDataSize ? spec.OpenDataValue : data.size(), 4);
    body += data;
    std::string file = "RIFF";
    Put(file, spec.OpenDataSize ? spec.OpenDataValue : body.size(), 4);
    WriteFile(path, file + body);
    return samples;
}

double Rms(const std::vector<double>& samples, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += samples[i] * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

double ToneFrequency(const std::vector<float>& interleaved, int channels, int channel, int rate) {
    const std::size_t frames = interleaved.size() / static_cast<std::size_t>(channels);
    // Skip the edges, where the encoder's delay and padding sit.
    const std::size_t from = frames / 10, to = frames - frames / 10;
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t f = from + 1; f < to; ++f) {
        const float a = interleaved[(f - 1) * channels + channel];
        const float b = interleaved[f * channels + channel];
        if (a < 0 && b >= 0) {
            if (crossings == 0)
                first = f;
            last = f;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

bool ApeProgressValue(const std::string& line, int& value) {
    if (line.find("Progress: ") == std::string::npos || line.size() <= 10)
        return false;
    std::string rest = line.substr(10);
    const auto dot = rest.substr(0, rest.size() - 1).find('.');
    if (dot != std::string::npos)
        rest.resize(dot);
    else
        rest.pop_back();
    const auto digits = rest.find_first_not_of(' ');
    if (digits == std::string::npos)
        return false;
    rest = rest.substr(digits);
    if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(rest);
    return true;
}

std::vector<std::string> BlankOrCommaTokens(const std::string& line) {
    std::vector<std::string> tokens;
    std::string token;
    for (char c : line + " ") {
        if (c == ' ' || c == ',') {
            if (!token.empty())
                tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    return tokens;
}

bool EncoderSecondsValue(const std::vector<std::string>& screen, long& value) {
    if (screen.size() <= 5)
        return false;
    const std::vector<std::string> tokens = BlankOrCommaTokens(screen.back());
    if (tokens.size() < 2 || tokens[1].find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stol(tokens[1]);
    return true;
}

bool TScopedFolder::MountSmallTmpfs(const std::string& name, const std::string& size) {
    const fs::path folder = Path / name;
    fs::create_directory(folder);
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0)
        return false;
    Mounts.push_back(folder);
    return true;
}

} // namespace tooltest
