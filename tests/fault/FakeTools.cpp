#include "FakeTools.h"

#include "platform/AppFolder.h"
#include "platform/ToolNames.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace faulttest {

namespace {

namespace fs = std::filesystem;

const char* const FaultVariable = "PARVANE_FAKE_FAULT";
const char* const CopyName = "fault_test";
#ifdef __SANITIZE_ADDRESS__
// Under the sanitizer every scrolled row is checked, twenty times slower; a tenth of the text
// goes through the same code.
const std::size_t FloodBytes = 1024 * 1024;
#else
const std::size_t FloodBytes = 10 * 1024 * 1024;
#endif

void Print(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(1, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

[[noreturn]] void Die(int signal) {
    std::signal(signal, SIG_DFL);
    raise(signal);
    _exit(128 + signal);
}

// Where the tool was asked to write: after -o or -of, else where mac and lame take it.
std::string OutputOf(const std::string& tool, int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-o") == 0 || std::strcmp(argv[i], "-of") == 0)
            return argv[i + 1];
    if (tool == platform::MacTool && argc > 2)
        return argv[2];
    if (tool == platform::LameTool && argc > 3)
        return argv[3];
    return {};
}

// The first bytes a dying decoder or encoder leaves: a WAV header that promises ten seconds, or
// an MP4's file-type box and an open media box.
std::string StartOfOutput(const std::string& tool) {
    if (tool == platform::EncoderTool)
        return std::string("\0\0\0\x18"
                           "ftypisom\0\0\x02\0isommp41"
                           "\0\0\0\0mdat",
                           32) +
               std::string(4096, '\x55');
    std::string header;
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            header += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const std::uint32_t data = 441000 * 4;
    header += "RIFF";
    put(36 + data, 4);
    header += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(44100, 4);
    put(44100 * 4, 4);
    put(4, 2);
    put(16, 2);
    header += "data";
    put(data, 4);
    return header;
}

[[noreturn]] void Play(const std::string& tool, TFault fault, int argc, char** argv) {
    const std::string output = OutputOf(tool, argc, argv);
    switch (fault) {
    case TFault::Crash:
        Die(SIGSEGV);
    case TFault::Hang:
        Print("fake " + tool + " is waiting\r\n");
        for (;;)
            pause();
    case TFault::Garbage: {
        std::mt19937 random(7);
        std::string bytes(65536, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() % 256);
        Print(bytes);
        _exit(1);
    }
    case TFault::Flood: {
        const std::string line =
            "fake " + tool + " floods the terminal with text " + std::string(60, '=') + "\r\n";
        std::string text;
        while (text.size() < FloodBytes)
            text += line;
        Print(text);
        _exit(1);
    }
    case TFault::Header:
        tooltest::WriteFile(output, StartOfOutput(tool));
        Die(SIGKILL);
    case TFault::Rate: {
        tooltest::TWavSpec spec;
        spec.Rate = 48000;
        tooltest::WriteWav(output, spec, 48000);
        _exit(0);
    }
    case TFault::Silent:
        _exit(0);
    case TFault::Slow:
        std::this_thread::sleep_for(std::chrono::seconds(2));
        break;
    case TFault::None:
        break;
    }
    const std::string real = tooltest::Tool(tool);
    execv(real.c_str(), argv);
    _exit(127);
}

const char* const FaultNames[] = {"none",  "crash",  "hang", "slow",  "garbage",
                                  "flood", "header", "rate", "silent"};

// Runs before main: the copy started under a tool's name is that tool, playing the fault chosen
// for it or passing the call on to the real one.
[[gnu::constructor]] void PlayToolOfThisName(int argc, char** argv) {
    if (argc < 1)
        return;
    const std::string name = fs::path(argv[0]).filename().string();
    bool isTool = false;
    for (const char* tool : platform::ToolNames)
        isTool = isTool || name == tool;
    if (!isTool)
        return;
    TFault fault = TFault::None;
    const char* chosen = std::getenv(FaultVariable);
    const std::string prefix = name + ":";
    if (chosen && std::string(chosen).starts_with(prefix))
        for (std::size_t i = 0; i < std::size(FaultNames); ++i)
            if (std::string(chosen).substr(prefix.size()) == FaultNames[i])
                fault = static_cast<TFault>(i);
    Play(name, fault, argc, argv);
}

} // namespace

void PlayFault(const std::string& tool, TFault fault) {
    setenv(FaultVariable, (tool + ":" + FaultNames[static_cast<int>(fault)]).c_str(), 1);
}

TFakeAppFolder::TFakeAppFolder() {
    fs::copy_file("/proc/self/exe", Binary());
    for (const char* tool : platform::ToolNames) {
        const bool plays = std::string(tool) != platform::SleepTool;
        fs::create_symlink(plays ? fs::path(CopyName) : fs::path(tooltest::Tool(tool)),
                           Folder / tool);
    }
}

std::string TFakeAppFolder::Binary() const {
    return (Folder / CopyName).string();
}

bool InFakeAppFolder() {
    std::error_code ec;
    return !fs::equivalent(platform::AppFolder(), PARVANE_APP_DIR, ec);
}

void RunCurrentTestInFakeFolder(bool unprivileged) {
    const testing::TestInfo& test = *testing::UnitTest::GetInstance()->current_test_info();
    // The copy makes its own folders; the ones this test pointed TMPDIR at may be closed to it.
    const char* set = std::getenv("TMPDIR");
    const std::string temp = set ? set : "";
    unsetenv("TMPDIR");
    TFakeAppFolder folder;
    tooltest::TRunOptions options;
    options.TimeoutMs = 240000;
    options.Unprivileged = unprivileged;
    const auto result = tooltest::RunTool(
        {folder.Binary(),
         "--gtest_filter=" + std::string(test.test_suite_name()) + "." + test.name()},
        options);
    if (set)
        setenv("TMPDIR", temp.c_str(), 1);
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, 0) << result.Out << result.Err;
    EXPECT_NE(result.Out.find("[  PASSED  ] 1 test."), std::string::npos) << result.Out;
}

} // namespace faulttest
