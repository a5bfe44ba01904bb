#include "pipeline/Wav.h"

#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

std::string WriteSmallWav(const TScopedFolder& folder, const std::string& name, int rate = 44100) {
    const std::string path = (folder / name).string();
    tooltest::WriteWav(path, {.Rate = rate}, 441);
    return path;
}

// As the job takes a file: the path, then the check.
bool Accepts(TWav& wav, const std::string& path) {
    wav.SetSrcFile(path);
    return wav.SrcFileOk();
}

} // namespace

TEST(Wav, ExtensionDecidesInAnyLetterCase) {
    TScopedFolder folder;
    TWav upper, wave, none;
    EXPECT_TRUE(Accepts(upper, WriteSmallWav(folder, "LOUD.WAV")));
    EXPECT_FALSE(Accepts(wave, WriteSmallWav(folder, "a.wave")));
    EXPECT_EQ(wave.SrcFile, "");
    EXPECT_FALSE(Accepts(none, (folder / "missing.wav").string()));
}

TEST(Wav, RefusesShortAndNonRiffFiles) {
    TScopedFolder folder;
    const std::string good = WriteSmallWav(folder, "good.wav");
    std::string bytes = tooltest::ReadFile(good);

    WriteFile(folder / "short.wav", bytes.substr(0, 43));
    WriteFile(folder / "rifx.wav", "RIFX" + bytes.substr(4));
    TWav shortWav, rifx;
    EXPECT_FALSE(Accepts(shortWav, (folder / "short.wav").string()));
    EXPECT_FALSE(Accepts(rifx, (folder / "rifx.wav").string()));
    EXPECT_EQ(rifx.SampleRate, 0);
}

TEST(Wav, KeepsItsFirstFileAndIsItsOwnWav) {
    TScopedFolder folder;
    const std::string first = WriteSmallWav(folder, "first.wav", 48000);
    TWav wav;
    ASSERT_TRUE(Accepts(wav, first));
    EXPECT_EQ(wav.Kind, 4);
    EXPECT_EQ(wav.SampleRate, 48000);
    wav.SetSrcFile(WriteSmallWav(folder, "second.wav"));
    EXPECT_EQ(wav.SrcFile, first);

    EXPECT_TRUE(wav.Decode());
    EXPECT_EQ(wav.WavFile, first);
    EXPECT_TRUE(wav.WavFileOk());
    wav.DeleteWav();
    EXPECT_TRUE(std::filesystem::exists(first));
}

TEST(Wav, NameAsTitleGivesOneTitleArgument) {
    TScopedFolder folder;
    std::filesystem::create_directory(folder / "x.y");
    TWav titled, plain;
    titled.NameAsTitle = true;
    ASSERT_TRUE(Accepts(titled, WriteSmallWav(folder, "x.y/a.b.wav")));
    titled.CollectTags();
    EXPECT_EQ(titled.Title, "a.b");
    EXPECT_EQ(titled.TagValues[0], "a.b");
    EXPECT_EQ(titled.MetaArgs, std::vector<std::string>{"-meta:Title=\"a.b\""});

    ASSERT_TRUE(Accepts(plain, WriteSmallWav(folder, "c.d.wav")));
    plain.CollectTags();
    EXPECT_TRUE(plain.MetaArgs.empty());
    EXPECT_EQ(plain.Title, "");
}
