// The headless driver as a black box: exit status, the JSON lines it prints, the files it leaves.

#include "pipeline/PipelineTestSupport.h"
#include "tools/ToolTestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using tooltest::TScopedFolder;

namespace {

const std::string Driver = std::string(PARVANE_APP_DIR) + "parvane-job";

struct TJobRun {
    int ExitCode = -1;
    Strings Lines;
};

Strings SplitLines(const std::string& text) {
    Strings lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Runs the driver; with interruptAt, sends SIGINT once its output holds that text.
TJobRun RunJob(const Strings& args, const std::string& interruptAt = "") {
    Strings argv = {Driver};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        execv(raw[0], raw.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    bool interrupted = interruptAt.empty();
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
        if (!interrupted && text.find(interruptAt) != std::string::npos) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, SplitLines(text)};
}

class ParvaneJob : public testing::Test {
protected:
    TScopedFolder Work;
    pipelinetest::TScopedTmpDir Tmp{Work / "tmp"};

    std::string MakeWav(const std::string& name, double seconds, int rate = 44100,
                        int channels = 2) {
        const std::string path = (Work / name).string();
        tooltest::WriteWav(path, {.Channels = channels, .Rate = rate},
                           static_cast<std::uint64_t>(seconds * rate));
        return path;
    }
};

} // namespace

TEST_F(ParvaneJob, UsageErrorsExitWithTwo) {
    const std::string wav = MakeWav("a.wav", 1);
    for (const Strings& args : std::vector<Strings>{
             {}, {"--ext", ".ogg", wav}, {"--bogus", wav}, {wav, "--to"}, {"--verify"}}) {
        const TJobRun run = RunJob(args);
        EXPECT_EQ(run.ExitCode, 2) << (args.empty() ? "" : args[0]);
        EXPECT_TRUE(run.Lines.empty());
    }
}

TEST_F(ParvaneJob, PrintsEveryEventAndTheResult) {
    const Strings wavs = {MakeWav("a.wav", 1), MakeWav("b.wav", 1)};
    fs::create_directory(Work / "out");
    const TJobRun run = RunJob({"--to", (Work / "out").string(), "--name", "both", "--ext", ".m4a",
                                "--name-as-title", wavs[0], wavs[1]});
    EXPECT_EQ(run.ExitCode, 0);
    ASSERT_FALSE(run.Lines.empty());
    for (const auto& line : run.Lines)
        EXPECT_TRUE(line.starts_with("{\"event\":\"") && line.ends_with("}")) << line;
    EXPECT_EQ(run.Lines.front(), "{\"event\":\"StepStart\",\"Activity\":4,\"CurrentSource\":\"" +
                                     wavs[0] +
                                     "\",\"CurrentTarget\":\"\",\"MetaArgs\":[\"-meta:Title="
                                     "\\\"a\\\"\"]}");
    EXPECT_EQ(run.Lines.back(),
              "{\"event\":\"Done\",\"Result\":true,\"SameSampleRate\":true,\"EncodeFailed\":false,"
              "\"Refusal\":\"\"}");
    EXPECT_EQ(tooltest::Chapters(Work / "out" / "both.m4a").size(), 2u);

    // Sources one file cannot hold are refused before the encoder runs, each with its reason.
    const TJobRun mixed = RunJob({MakeWav("c.wav", 1, 48000), wavs[0]});
    EXPECT_EQ(mixed.ExitCode, 1);
    EXPECT_EQ(mixed.Lines.back(),
              "{\"event\":\"Done\",\"Result\":false,\"SameSampleRate\":false,\"EncodeFailed\":"
              "false,\"Refusal\":\"The sources have different sample rates (48000 Hz and 44100 "
              "Hz); one file cannot hold them. Nothing was encoded.\"}");
    const TJobRun channels = RunJob({wavs[0], MakeWav("mono.wav", 1, 44100, 1)});
    EXPECT_EQ(channels.ExitCode, 1);
    EXPECT_EQ(channels.Lines.back(),
              "{\"event\":\"Done\",\"Result\":false,\"SameSampleRate\":true,\"EncodeFailed\":"
              "false,\"Refusal\":\"The sources have different channel counts (2 and 1); one file "
              "cannot hold them. Nothing was encoded.\"}");
    for (const auto& line : channels.Lines)
        EXPECT_EQ(line.find("\"Activity\":10"), std::string::npos) << line;
    for (const auto& entry : fs::recursive_directory_iterator(Work.Path))
        EXPECT_NE(entry.path().extension(), ".mp4") << entry.path();
}

TEST_F(ParvaneJob, WritesAudiobooksWithTheirMediaKind) {
    fs::create_directory(Work / "out");
    const TJobRun run = RunJob({"--to", (Work / "out").string(), "--name", "book", "--ext", ".m4b",
                                MakeWav("a.wav", 1), MakeWav("b.wav", 1)});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(tooltest::Mp4Atoms(Work / "out" / "book.m4b")["stik"], "2");
    EXPECT_EQ(RunJob({"--ext", ".m4b.mp4", MakeWav("c.wav", 1)}).ExitCode, 2);
}

TEST_F(ParvaneJob, InterruptAbortsTheEncoderRun) {
    const std::string wav = MakeWav("long.wav", 60);
    const TJobRun run = RunJob({wav}, "\"event\":\"Progress\",\"Activity\":10");
    EXPECT_EQ(run.ExitCode, 1);
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_TRUE(run.Lines.back().starts_with("{\"event\":\"Done\",\"Result\":false"));
    EXPECT_FALSE(fs::exists(Work / "long.mp4"));
    EXPECT_TRUE(pipelinetest::TempWavs(Work / "tmp").empty());
}
