#include "pipeline/Base.h"

#include "PipelineTestSupport.h"
#include "platform/CommandLine.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>
#include <random>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

// A kind that decodes with a tool: it passes the file check on size alone.
class TToolKind : public TBase {
public:
    TToolKind() { Kind = 1; }
};

std::string RandomText(std::mt19937& random) {
    static const std::vector<std::string> pieces = {"\"",
                                                    "\"\"",
                                                    " ",
                                                    "  ",
                                                    "\t",
                                                    "a",
                                                    "Z",
                                                    "9",
                                                    "-meta:Title=",
                                                    "\\",
                                                    "'",
                                                    ",",
                                                    "%",
                                                    "\xC3\xA9",
                                                    "\xC3\x91",
                                                    "\xE6\x97\xA5",
                                                    "\xF0\x9F\x8E\xB5",
                                                    "\xFF",
                                                    "/tmp/x y.wav"};
    std::uniform_int_distribution<std::size_t> length(0, 12);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::string text;
    for (std::size_t n = length(random); n > 0; --n)
        text += pieces[pick(random)];
    return text;
}

} // namespace

TEST(BaseQuoteArg, EnclosesAndDoublesQuotes) {
    EXPECT_EQ(TBase::QuoteArg(""), "\"\"");
    EXPECT_EQ(TBase::QuoteArg("Say \"hi\""), "\"Say \"\"hi\"\"\"");
    EXPECT_EQ(TBase::QuoteArg("Caf\xC3\xA9 \xE6\x97\xA5"), "\"Caf\xC3\xA9 \xE6\x97\xA5\"");
}

// Whatever a value holds, the console's splitter gives back exactly the values quoted.
TEST(BaseQuoteArg, SplitterGivesBackEveryValue) {
    std::mt19937 random(4);
    std::uniform_int_distribution<int> count(1, 4);
    for (int round = 0; round < 5000; ++round) {
        std::vector<std::string> values(static_cast<std::size_t>(count(random)));
        std::string line;
        for (auto& value : values) {
            value = RandomText(random);
            if (!line.empty())
                line += ' ';
            line += TBase::QuoteArg(value);
        }
        ASSERT_EQ(platform::SplitCommandLine(line), values) << line;
    }
}

TEST(BaseUtf8ToText, DecodesAndStopsAtABrokenSequence) {
    EXPECT_EQ(TBase::Utf8ToText("\x41\xC3\xA9"), "A\xC3\xA9");
    EXPECT_EQ(TBase::Utf8ToText("\xE2\x82\xAC"), "\xE2\x82\xAC");
    EXPECT_EQ(TBase::Utf8ToText("\x41\xC3\x41"), "A");
}

TEST(BaseCheckFile, SizeForToolKindsAndSampleRate) {
    TScopedFolder folder;
    const std::string zeros = (folder / "zeros").string();
    WriteFile(zeros, std::string(44, '\0'));
    TToolKind tool;
    tool.SampleRate = 7;
    EXPECT_TRUE(tool.CheckFile(zeros));
    EXPECT_EQ(tool.SampleRate, 0);

    const std::string shortFile = (folder / "short").string();
    WriteFile(shortFile, std::string(43, '\0'));
    EXPECT_FALSE(tool.CheckFile(shortFile));

    // A missing file leaves the rate of the last check.
    const std::string wav = (folder / "a.wav").string();
    tooltest::WriteWav(wav, {.Channels = 1, .Rate = 22050}, 100);
    EXPECT_TRUE(tool.CheckFile(wav));
    EXPECT_FALSE(tool.CheckFile((folder / "none").string()));
    EXPECT_EQ(tool.SampleRate, 22050);
}

TEST(BaseTempWav, MadeEmptyInTheTemporaryFolderAndDeleted) {
    TScopedFolder folder;
    pipelinetest::TScopedTmpDir tmp(folder / "tmp");
    TToolKind tool;
    tool.MakeWavName();
    ASSERT_EQ(pipelinetest::TempWavs(folder / "tmp").size(), 1u);
    EXPECT_EQ(std::filesystem::path(tool.WavFile).parent_path(), folder / "tmp");
    EXPECT_EQ(std::filesystem::file_size(tool.WavFile), 0u);
    EXPECT_EQ(tool.WavLength(), -1);
    EXPECT_FALSE(tool.WavFileOk());
    tool.DeleteWav();
    EXPECT_TRUE(pipelinetest::TempWavs(folder / "tmp").empty());

    TToolKind aborted;
    TAbortState abort;
    abort.Request();
    aborted.SetAbort(abort);
    aborted.MakeWavName();
    EXPECT_EQ(aborted.WavFile, "");
    EXPECT_TRUE(pipelinetest::TempWavs(folder / "tmp").empty());
}
