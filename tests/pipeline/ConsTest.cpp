#include "pipeline/Cons.h"

#include "platform/CommandLine.h"
#include "platform/MessagePump.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using platform::QuoteText;
using Lines = std::vector<std::string>;

namespace {

const std::string AppDir = PARVANE_APP_DIR;

std::string Probe(const std::string& args) {
    return QuoteText(AppDir + "console-probe") + " " + args;
}

struct ScopedFolder {
    fs::path Path;
    ScopedFolder() {
        std::string pattern = (fs::temp_directory_path() / "parvane-cons-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~ScopedFolder() { fs::remove_all(Path); }
};

struct Recorder {
    std::vector<Lines> Snapshots;
    void Attach(TCons& cons) {
        cons.OnPoll = [this](TCons& c) { Snapshots.push_back(c.ScreenLines); };
    }
};

bool Alive(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

// A 16-bit stereo 44.1 kHz WAV of a rising tone, long enough for flac to report progress.
void WriteWav(const fs::path& path, int seconds) {
    const std::uint32_t frames = 44100u * static_cast<std::uint32_t>(seconds);
    const std::uint32_t dataSize = frames * 4;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    u32(36 + dataSize);
    out << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out << "data";
    u32(dataSize);
    std::vector<std::int16_t> block(2 * 44100);
    std::uint32_t seed = 1;
    for (std::uint32_t done = 0; done < frames; done += 44100) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            seed = seed * 1103515245u + 12345u;
            block[i] = static_cast<std::int16_t>((seed >> 16) % 20000) - 10000;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 2));
    }
}

} // namespace

TEST(Cons, NewRunnerHasTheConsoleSizeAndNoState) {
    TCons cons;
    EXPECT_EQ(cons.BufferWidth, 265);
    EXPECT_EQ(cons.BufferHeight, 200);
    EXPECT_FALSE(cons.Finished || cons.Abort);
    EXPECT_FALSE(cons.OnPoll);
    EXPECT_TRUE(cons.ScreenLines.empty());
}

TEST(Cons, AToolThatEndsAtOnceIsPolledTwiceAndSeenWhole) {
    TCons cons;
    Recorder rec;
    rec.Attach(cons);
    ASSERT_TRUE(cons.Run("Converting to WAV...", Probe("lines 3"), "0", false));
    EXPECT_TRUE(cons.Finished);
    ASSERT_EQ(rec.Snapshots.size(), 2u);
    EXPECT_EQ(rec.Snapshots[1], (Lines{"line 1", "line 2", "line 3"}));
    EXPECT_EQ(cons.ScreenLines, rec.Snapshots[1]);

    ASSERT_TRUE(cons.Run("x", Probe("exit"), "0", false));
    EXPECT_EQ(cons.ScreenLines, Lines{""});
}

TEST(Cons, TheSecondRunnerSeesOnlyItsOwnOutput) {
    TCons first, second;
    ASSERT_TRUE(first.Run("x", Probe("lines 40"), "0", false));
    ASSERT_TRUE(second.Run("x", Probe("raw 6f776e"), "0", false));
    EXPECT_EQ(second.ScreenLines, Lines{"own"});
    EXPECT_EQ(first.ScreenLines.size(), 40u);
}

TEST(Cons, WorkFolderIsTheToolsCurrentFolderAndZeroKeepsOurs) {
    ScopedFolder dir;
    TCons cons;
    ASSERT_TRUE(cons.Run("x", Probe("cwd"), dir.Path.string(), false));
    EXPECT_EQ(cons.ScreenLines, Lines{fs::canonical(dir.Path).string()});
    ASSERT_TRUE(cons.Run("x", Probe("cwd"), "0", false));
    EXPECT_EQ(cons.ScreenLines, Lines{fs::current_path().string()});
}

// Nothing on a command line is interpreted by a shell: every byte reaches the tool.
TEST(Cons, ArgumentsReachTheToolByteForByte) {
    const Lines args = {
        "two words",    "say \"hi\"", "$HOME", "`id`",
        "a;b",          "*",          "",      "Gr\xC3\xBC\xC3\x9F\xC3\xA9 \xE6\x97\xA5",
        "-meta:Title=x"};
    std::string line = Probe("argv");
    for (const std::string& a : args) {
        line += ' ';
        line += QuoteText(a);
    }
    TCons cons;
    ASSERT_TRUE(cons.Run("x", line, "0", false));
    ASSERT_EQ(cons.ScreenLines.size(), args.size() + 1);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string hex;
        for (unsigned char c : args[i]) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", c);
            hex += two;
        }
        EXPECT_EQ(cons.ScreenLines[i], "ARG " + std::to_string(i) + " " + hex + ".");
    }
    EXPECT_EQ(cons.ScreenLines.back(), "END " + std::to_string(args.size()));
}

TEST(Cons, AStartThatFailsChangesNothing) {
    ScopedFolder dir;
    fs::path plain = dir.Path / "plain";
    std::ofstream(plain) << "#!/bin/sh\necho hi\n";
    fs::path noShebang = dir.Path / "noshebang";
    std::ofstream(noShebang) << "echo hi\n";
    fs::permissions(noShebang, fs::perms::owner_all);

    TCons cons;
    ASSERT_TRUE(cons.Run("x", Probe("raw 6b656570"), "0", false));
    int polls = 0;
    cons.OnPoll = [&](TCons&) { ++polls; };
    for (const fs::path& tool : {dir.Path / "missing", plain, noShebang}) {
        EXPECT_FALSE(cons.Run("x", QuoteText(tool.string()), "0", false)) << tool;
        EXPECT_FALSE(cons.Finished);
        EXPECT_EQ(cons.ScreenLines, Lines{"keep"});
    }
    EXPECT_EQ(polls, 0);
}

TEST(Cons, MoreThanAScreenfulKeepsTheLastRows) {
    TCons cons;
    ASSERT_TRUE(cons.Run("x", Probe("lines 450"), "0", false));
    ASSERT_EQ(cons.ScreenLines.size(), 199u);
    EXPECT_EQ(cons.ScreenLines.back(), "line 450");
    EXPECT_EQ(cons.ScreenLines.front(), "line 252");
}

TEST(Cons, AToolFloodingTheTerminalRunsToItsEnd) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer checks every row move of a scroll, which makes this twenty times slower; the
    // size only matters for speed, so a smaller flood covers the same code.
    const char* size = "2000000";
#else
    const char* size = "20000000";
#endif
    TCons cons;
    ASSERT_TRUE(cons.Run("x", Probe(std::string("flood ") + size), "0", false));
    EXPECT_EQ(cons.ScreenLines.back(), "flood done");
}

TEST(Cons, TerminationEndsTheToolAndItsGrandchildWithinOnePoll) {
    TCons cons;
    TAbortState abort;
    cons.Abort = &abort;
    pid_t child = 0, grandchild = 0;
    int pollsAfterRequest = 0;
    cons.OnPoll = [&](TCons& c) {
        if (abort.Requested())
            ++pollsAfterRequest;
        for (const std::string& line : c.ScreenLines) {
            int a = 0, b = 0;
            if (std::sscanf(line.c_str(), "child %d grandchild %d", &a, &b) == 2) {
                child = a;
                grandchild = b;
                abort.Request();
            }
        }
    };
    ASSERT_TRUE(cons.Run("x", Probe("stubborn"), "0", false));
    EXPECT_TRUE(cons.Finished);
    ASSERT_GT(child, 0);
    ASSERT_GT(grandchild, 0);
    EXPECT_LE(pollsAfterRequest, 2); // the poll that saw the end, then the final one
    EXPECT_FALSE(Alive(child));      // reaped, not a zombie
    EXPECT_FALSE(Alive(grandchild));
}

TEST(Cons, TheWindowGetsItsMessagesAfterEverySlice) {
    int pumps = 0;
    platform::SetMessagePump([&] { ++pumps; });
    TCons cons;
    int polls = 0;
    cons.OnPoll = [&](TCons&) { ++polls; };
    ASSERT_TRUE(cons.Run("x", Probe("sleep 500"), "0", false));
    platform::SetMessagePump(nullptr);
    EXPECT_GE(polls, 4); // 500 ms in slices of 150 ms
    EXPECT_EQ(pumps, polls + 1);
}

// flac rewrites its progress with backspaces; the snapshots show it as one line that changes.
TEST(Cons, FlacProgressIsOneLineRewrittenInPlace) {
    ScopedFolder dir;
    fs::path wav = dir.Path / "tone.wav";
    fs::path flacFile = dir.Path / "tone.flac";
    WriteWav(wav, 480); // flac reports about four times a second
    std::string encode =
        "\"" + AppDir + "flac\" -s -0 -o \"" + flacFile.string() + "\" \"" + wav.string() + "\"";
    ASSERT_EQ(std::system(encode.c_str()), 0);

    TCons cons;
    Recorder rec;
    rec.Attach(cons);
    std::string decode = QuoteText(AppDir + "flac") + " -d -f " + QuoteText(flacFile.string()) +
                         " -o " + QuoteText((dir.Path / "out.wav").string());
    ASSERT_TRUE(cons.Run("Converting to WAV...", decode, AppDir, false));
    std::set<std::string> progress;
    for (const Lines& snapshot : rec.Snapshots) {
        int lines = 0;
        for (const std::string& line : snapshot)
            if (line.find("% complete") != std::string::npos) {
                ++lines;
                progress.insert(line);
            }
        EXPECT_LE(lines, 1);
    }
    EXPECT_GE(progress.size(), 1u);
    int done = 0;
    for (const std::string& line : cons.ScreenLines) {
        EXPECT_EQ(line.find("% complete"), std::string::npos) << line;
        done += line.ends_with(".flac: done");
    }
    EXPECT_EQ(done, 1);
    EXPECT_EQ(fs::file_size(dir.Path / "out.wav"), fs::file_size(wav));
}
