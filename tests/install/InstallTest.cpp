#include "tools/ToolTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One install into a scratch prefix, shared by the tests of this file.
class Installed : public testing::Test {
protected:
    static inline tooltest::TScopedFolder* Prefix = nullptr;
    static inline tooltest::TRunResult Install;

    static void SetUpTestSuite() {
        Prefix = new tooltest::TScopedFolder;
        Install = tooltest::RunTool(
            {PARVANE_CMAKE, "--install", PARVANE_BUILD_DIR, "--prefix", Prefix->Path.string()});
    }
    static void TearDownTestSuite() {
        delete Prefix;
        Prefix = nullptr;
    }
    void SetUp() override { ASSERT_EQ(Install.ExitCode, 0) << Install.Out << Install.Err; }

    static fs::path At(const std::string& path) { return Prefix->Path / path; }
};

} // namespace

TEST_F(Installed, HoldsTheProductOnly) {
    std::set<std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(Prefix->Path))
        if (!entry.is_directory() || entry.is_symlink())
            tree.insert(entry.path().lexically_relative(Prefix->Path).string());
    EXPECT_EQ(tree, (std::set<std::string>{
                        "bin/parvane",
                        "bin/parvane-convert",
                        "lib/parvane/parvane",
                        "lib/parvane/parvane-convert",
                        "lib/parvane/mac",
                        "lib/parvane/avdec",
                        "lib/parvane/neroAacEnc",
                        "lib/parvane/neroAacTag",
                        "lib/parvane/flac",
                        "lib/parvane/metaflac",
                        "lib/parvane/lame",
                        "lib/parvane/sleep",
                        "share/applications/org.quillaby.Parvane.desktop",
                        "share/icons/hicolor/scalable/apps/org.quillaby.Parvane.svg",
                        "share/metainfo/org.quillaby.Parvane.metainfo.xml",
                        "share/man/man1/parvane-convert.1.gz",
                    }));
}

// The program finds its tools beside itself, so the links and the entry point must lead there.
TEST_F(Installed, LinksLeadToTheApplicationFolderAndTheDebianTools) {
    EXPECT_EQ(fs::read_symlink(At("bin/parvane")), "../lib/parvane/parvane");
    EXPECT_EQ(fs::canonical(At("bin/parvane")), fs::canonical(At("lib/parvane/parvane")));
    EXPECT_EQ(fs::read_symlink(At("bin/parvane-convert")), "../lib/parvane/parvane-convert");
    for (const char* tool :
         {"parvane", "parvane-convert", "mac", "avdec", "neroAacEnc", "neroAacTag"}) {
        const fs::path path = At(std::string("lib/parvane/") + tool);
        EXPECT_FALSE(fs::is_symlink(path)) << tool;
        EXPECT_EQ(access(path.c_str(), X_OK), 0) << tool;
    }
    EXPECT_EQ(fs::read_symlink(At("lib/parvane/flac")), "/usr/bin/flac");
    EXPECT_EQ(fs::read_symlink(At("lib/parvane/metaflac")), "/usr/bin/metaflac");
    EXPECT_EQ(fs::read_symlink(At("lib/parvane/lame")), "/usr/bin/lame");
    EXPECT_TRUE(fs::is_symlink(At("lib/parvane/sleep")));
}

TEST_F(Installed, DesktopFilesPassTheirValidators) {
    const std::string desktop = At("share/applications/org.quillaby.Parvane.desktop");
    const auto entry = tooltest::RunTool({"/usr/bin/desktop-file-validate", desktop});
    EXPECT_EQ(entry.ExitCode, 0) << entry.Out << entry.Err;
    const std::string text = tooltest::ReadFile(desktop);
    EXPECT_NE(text.find("\nExec=parvane %F\n"), std::string::npos);
    for (const char* type : {"audio/flac;", "audio/x-ape;", "audio/mpeg;", "audio/x-wav;",
                             "audio/x-wavpack;", "audio/mp4;", "audio/x-aiff;", "audio/x-tta;",
                             "audio/ogg;", "audio/x-opus+ogg;", "audio/x-ms-wma;"})
        EXPECT_NE(text.find(type), std::string::npos) << type;

    const auto metainfo =
        tooltest::RunTool({"/usr/bin/appstreamcli", "validate", "--no-net",
                           At("share/metainfo/org.quillaby.Parvane.metainfo.xml")});
    EXPECT_EQ(metainfo.ExitCode, 0) << metainfo.Out << metainfo.Err;
}

// What "Open With" does: the installed program, started through its link with files and a
// folder, takes them and keeps running until it is closed.
TEST_F(Installed, StartsWithFilesOnItsCommandLine) {
    tooltest::TScopedFolder home;
    fs::create_directories(home / "album");
    tooltest::WriteFile(home / "album/1 x.mp3", std::string(200, 'x'));
    tooltest::WriteFile(home / "album/2 x.mp3", std::string(200, 'x'));
    tooltest::WriteFile(home / "single.wav", std::string(200, 'x'));
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOME", home.Path.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("PARVANE_UPDATE_SERVER", "127.0.0.1:1", 1);
    tooltest::TRunOptions options;
    options.TimeoutMs = 3000;
    const auto run = tooltest::RunTool({At("bin/parvane").string(), (home / "album").string(),
                                        (home / "single.wav").string(), "--no-such-option",
                                        (home / "missing.flac").string()},
                                       options);
    EXPECT_TRUE(run.TimedOut) << "ended early: exit " << run.ExitCode << ", signal " << run.Signal
                              << "\n"
                              << run.Err;
}

// The console converter, run through its link, finds its tools in the application folder; its
// installed manual page renders.
TEST_F(Installed, ConsoleConverterRunsThroughItsLink) {
    tooltest::TScopedFolder home;
    tooltest::WriteWav(home / "song.wav", {}, 44100);
    const auto run =
        tooltest::RunTool({At("bin/parvane-convert").string(), (home / "song.wav").string()});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_TRUE(fs::exists(home / "song.m4a"));
    const auto man =
        tooltest::RunTool({"/usr/bin/man", "-l", At("share/man/man1/parvane-convert.1.gz")});
    EXPECT_EQ(man.ExitCode, 0) << man.Err;
    EXPECT_NE(man.Out.find("--output-dir"), std::string::npos);
}
