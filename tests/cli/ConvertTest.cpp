// parvane-convert run as a user runs it: real processes on libraries made with the real tools.
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::TRunResult;
using tooltest::TScopedFolder;

namespace {

const std::string Program = tooltest::Tool("parvane-convert");

void RunOk(const std::vector<std::string>& argv) {
    const TRunResult result = RunTool(argv);
    ASSERT_EQ(result.ExitCode, 0) << argv[0] << ": " << result.Err;
}

void Wav(const fs::path& path, double seconds, double frequency = 440) {
    fs::create_directories(path.parent_path());
    tooltest::WriteWav(path, {}, static_cast<std::uint64_t>(seconds * 44100),
                       tooltest::TSignal::Sine, frequency);
}

void Flac(const fs::path& path, double seconds, const std::vector<std::string>& tags) {
    const fs::path wav = path.string() + ".src.wav";
    Wav(wav, seconds);
    std::vector<std::string> argv = {"/usr/bin/flac", "-s", "-f", "-o", path.string()};
    for (const std::string& tag : tags)
        argv.push_back("--tag=" + tag);
    argv.push_back(wav.string());
    RunOk(argv);
    fs::remove(wav);
}

void Mp3(const fs::path& path, double seconds, const std::string& title) {
    const fs::path wav = path.string() + ".src.wav";
    Wav(wav, seconds);
    RunOk({"/usr/bin/lame", "--quiet", "--tt", title, "--ta", "Mp3 Artist", wav.string(),
           path.string()});
    fs::remove(wav);
}

// Every file below the folder, hidden ones included, as paths relative to it.
std::set<std::string> Tree(const fs::path& folder) {
    std::set<std::string> files;
    if (!fs::exists(folder))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_directory())
            files.insert(entry.path().lexically_relative(folder).string());
    return files;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string Tag(const fs::path& file, const std::string& name) {
    const auto tags = tooltest::Probe(file, "format_tags=" + name);
    const auto tag = tags.find("TAG:" + name);
    return tag == tags.end() ? "" : tag->second;
}

double Duration(const fs::path& file) {
    return std::stod(tooltest::Probe(file, "format=duration").at("duration"));
}

// A library of every kind of source, a CD image with its sheet and a cover, made once.
class Library : public testing::Test {
protected:
    static inline TScopedFolder* Root = nullptr;

    static fs::path Lib() { return Root->Path / "lib"; }

    static void SetUpTestSuite() {
        Root = new TScopedFolder;
        const fs::path album = Lib() / "Artist A" / "Album 1";
        Flac(album / "01 Song.flac", 2, {"TITLE=Flac Title", "ARTIST=Flac Artist", "ALBUM=One"});
        Mp3(album / "02 Song.mp3", 2, "Mp3 Title");
        tooltest::MakeImage(*Root, "cover.jpg", "8x8");
        fs::copy_file(Root->Path / "cover.jpg", album / "cover.jpg");
        Wav(Lib() / "Various" / "Loose.wav", 1.5);
        fs::copy_file(tooltest::TestData("ape/mac-399-tagged.ape"), Lib() / "Various" / "Ape.ape");
        Wav(Lib() / "Various" / "Vorbis.wav", 1);
        RunOk({"/usr/bin/ffmpeg", "-v", "error", "-i", (Lib() / "Various" / "Vorbis.wav").string(),
               "-c:a", "libvorbis", "-metadata", "title=Ogg Title",
               (Lib() / "Various" / "Vorbis.ogg").string()});
        fs::remove(Lib() / "Various" / "Vorbis.wav");
        // Notes beside the music are no sources and no failures.
        tooltest::WriteFile(Lib() / "Various" / "notes.txt", "liner notes\n");
        Flac(Lib() / "CD" / "image.flac", 4, {});
        tooltest::WriteFile(Lib() / "CD" / "image.cue",
                            "PERFORMER \"Sheet Artist\"\nTITLE \"Sheet Album\"\n"
                            "FILE \"image.flac\" WAVE\n"
                            "  TRACK 01 AUDIO\n    TITLE \"First\"\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    TITLE \"Second\"\n    INDEX 01 00:01:00\n");
    }
    static void TearDownTestSuite() {
        delete Root;
        Root = nullptr;
    }
};

const std::set<std::string> Mirrored = {"Artist A/Album 1/01 Song.m4a",
                                        "Artist A/Album 1/02 Song.m4a",
                                        "CD/01 - First.m4a",
                                        "CD/02 - Second.m4a",
                                        "Various/Ape.m4a",
                                        "Various/Loose.m4a",
                                        "Various/Vorbis.m4a"};

} // namespace

// The library mirrored into another folder; a second run writes nothing; --rename numbers.
TEST_F(Library, MirrorsTheFoldersAndConvertsOnlyWhatIsNew) {
    TScopedFolder out;
    const fs::path phone = out / "phone";
    const TRunResult first =
        RunTool({Program, "-j", "2", "--copy-art", "-o", phone.string(), Lib().string()});
    ASSERT_EQ(first.ExitCode, 0) << first.Err;
    std::set<std::string> expected = Mirrored;
    expected.insert("Artist A/Album 1/cover.jpg");
    EXPECT_EQ(Tree(phone), expected);
    EXPECT_EQ(tooltest::ReadFile(phone / "Artist A/Album 1/cover.jpg"),
              tooltest::ReadFile(Lib() / "Artist A/Album 1/cover.jpg"));
    EXPECT_NE(first.Err.find("7 converted, 0 skipped, 0 failed"), std::string::npos) << first.Err;
    // Not a terminal: plain lines, nothing redrawn.
    EXPECT_EQ(first.Err.find('\r'), std::string::npos);
    EXPECT_NE(first.Err.find("converted " + (Lib() / "Various/Loose.wav").string() + " -> " +
                             (phone / "Various/Loose.m4a").string() + "\n"),
              std::string::npos)
        << first.Err;

    const fs::path song = phone / "Artist A/Album 1/01 Song.m4a";
    EXPECT_EQ(Tag(song, "title"), "Flac Title");
    EXPECT_EQ(Tag(phone / "Various/Vorbis.m4a", "title"), "Ogg Title");
    EXPECT_EQ(Tag(song, "artist"), "Flac Artist");
    EXPECT_EQ(Tag(phone / "Artist A/Album 1/02 Song.m4a", "title"), "Mp3 Title");
    EXPECT_EQ(Tag(phone / "CD/02 - Second.m4a", "title"), "Second");
    EXPECT_EQ(Tag(phone / "CD/02 - Second.m4a", "album"), "Sheet Album");
    EXPECT_NEAR(Duration(phone / "CD/01 - First.m4a"), 1.0, 0.05);
    EXPECT_NEAR(Duration(phone / "CD/02 - Second.m4a"), 3.0, 0.05);
    EXPECT_EQ(tooltest::CoverBytes(song), tooltest::ReadFile(Lib() / "Artist A/Album 1/cover.jpg"));

    std::map<std::string, fs::file_time_type> written;
    for (const std::string& file : Mirrored)
        written[file] = fs::last_write_time(phone / file);
    const TRunResult second =
        RunTool({Program, "--copy-art", "-o", phone.string(), Lib().string()});
    EXPECT_EQ(second.ExitCode, 0) << second.Err;
    EXPECT_EQ(Tree(phone), expected);
    for (const std::string& file : Mirrored)
        EXPECT_EQ(fs::last_write_time(phone / file), written[file]) << file;
    EXPECT_NE(second.Err.find("0 converted, 7 skipped, 0 failed"), std::string::npos) << second.Err;

    const std::string before = tooltest::ReadFile(song);
    const TRunResult renamed = RunTool({Program, "--rename", "-o", phone.string(), Lib().string()});
    EXPECT_EQ(renamed.ExitCode, 0) << renamed.Err;
    for (const std::string& file : Mirrored) {
        const fs::path numbered = phone / (file.substr(0, file.size() - 4) + "-1.m4a");
        EXPECT_TRUE(fs::exists(numbered)) << numbered;
        EXPECT_EQ(fs::last_write_time(phone / file), written[file]) << file;
    }
    EXPECT_EQ(tooltest::ReadFile(song), before);
    EXPECT_EQ(Tree(phone).size(), expected.size() + Mirrored.size());
}

// Without -o every output lies beside its source; --flat puts them all in one folder.
TEST_F(Library, DryRunPlansBesideTheSourcesOrFlatAndWritesNothing) {
    const TRunResult beside = RunTool({Program, "-n", Lib().string()});
    ASSERT_EQ(beside.ExitCode, 0) << beside.Err;
    const std::string lib = Lib().string() + "/";
    // Folders before files, names as a file manager orders them, a sheet's tracks each.
    EXPECT_EQ(Lines(beside.Out),
              (std::vector<std::string>{
                  "convert " + lib + "Artist A/Album 1/01 Song.flac -> " + lib +
                      "Artist A/Album 1/01 Song.m4a",
                  "convert " + lib + "Artist A/Album 1/02 Song.mp3 -> " + lib +
                      "Artist A/Album 1/02 Song.m4a",
                  "convert " + lib + "CD/image.cue -> " + lib + "CD/01 - First.m4a",
                  "convert " + lib + "CD/image.cue -> " + lib + "CD/02 - Second.m4a",
                  "convert " + lib + "Various/Ape.ape -> " + lib + "Various/Ape.m4a",
                  "convert " + lib + "Various/Loose.wav -> " + lib + "Various/Loose.m4a",
                  "convert " + lib + "Various/Vorbis.ogg -> " + lib + "Various/Vorbis.m4a",
              }));

    TScopedFolder out;
    RunOk({Program, "--flat", "-o", out.Path.string(), (Lib() / "CD").string()});
    const TRunResult flat =
        RunTool({Program, "--dry-run", "--flat", "--ext", ".m4b", "--output-dir",
                 (out / "new").string(), "--output-dir=" + out.Path.string(), Lib().string()});
    ASSERT_EQ(flat.ExitCode, 0) << flat.Err;
    const std::string dir = out.Path.string() + "/";
    EXPECT_EQ(Lines(flat.Out)[2], "convert " + lib + "CD/image.cue -> " + dir + "01 - First.m4b");
    EXPECT_EQ(Lines(flat.Out)[5], "convert " + lib + "Various/Loose.wav -> " + dir + "Loose.m4b");
    EXPECT_FALSE(fs::exists(out / "new"));
    EXPECT_EQ(Tree(out.Path), (std::set<std::string>{"01 - First.m4a", "02 - Second.m4a"}));

    // A file named on its own keeps none of its folders below DIR.
    const TRunResult named =
        RunTool({Program, "-n", "-o", dir, (Lib() / "Various/Loose.wav").string()});
    EXPECT_EQ(named.Out, "convert " + lib + "Various/Loose.wav -> " + dir + "Loose.m4a\n");

    const TRunResult done = RunTool({Program, "-n", "--flat", "-o", dir, (Lib() / "CD").string()});
    EXPECT_EQ(done.Out, "skip " + dir + "01 - First.m4a (exists)\nskip " + dir +
                            "02 - Second.m4a (exists)\n");
    EXPECT_EQ(Tree(out.Path).size(), 2u);
}

TEST_F(Library, CombinesEverySourceIntoOneFileWithAChapterEach) {
    TScopedFolder out;
    const TRunResult result =
        RunTool({Program, "--combine=All", "-o", out.Path.string(), Lib().string()});
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(Tree(out.Path), (std::set<std::string>{"All.m4a"}));
    EXPECT_EQ(tooltest::Chapters(out / "All.m4a").size(), 7u);
}

// A damaged file among good ones: exit 1, the others converted, nothing left of the damaged one.
TEST(ConvertCli, ADamagedSourceFailsAloneAndLeavesNothing) {
    TScopedFolder lib, out, temp;
    Flac(lib / "a.flac", 1, {});
    Flac(lib / "b.flac", 3, {});
    Wav(lib / "c.wav", 1);
    // Its header holds, its frames are noise.
    std::string damaged = tooltest::ReadFile(lib / "b.flac");
    for (std::size_t k = 8192; k < damaged.size(); ++k)
        damaged[k] = static_cast<char>(k * 7);
    tooltest::WriteFile(lib / "b.flac", damaged);
    setenv("TMPDIR", temp.Path.c_str(), 1);
    const TRunResult result = RunTool({Program, "-o", out.Path.string(), lib.Path.string()});
    unsetenv("TMPDIR");
    EXPECT_EQ(result.ExitCode, 1) << result.Err;
    EXPECT_EQ(Tree(out.Path), (std::set<std::string>{"a.m4a", "c.m4a"}));
    EXPECT_TRUE(Tree(temp.Path).empty());
    EXPECT_NE(result.Err.find("failed " + (lib / "b.flac").string() + ": "), std::string::npos)
        << result.Err;
    EXPECT_NE(result.Err.find("2 converted, 0 skipped, 1 failed"), std::string::npos);
}

// Ctrl-C while the second of three sources converts: exit 130, the first one kept, nothing else
// left, not even a temporary file.
TEST(ConvertCli, InterruptLeavesOnlyWhatIsComplete) {
    TScopedFolder lib, out, temp;
    Wav(lib / "1 short.wav", 1);
    Flac(lib / "2 long.flac", 120, {});
    Flac(lib / "3 long.flac", 120, {});
    setenv("TMPDIR", temp.Path.c_str(), 1);
    tooltest::TRunOptions options;
    options.SignalWhen = "1 short.m4a\n";
    options.Signal = SIGINT;
    const TRunResult result =
        RunTool({Program, "-j", "1", "-o", out.Path.string(), lib.Path.string()}, options);
    unsetenv("TMPDIR");
    EXPECT_EQ(result.ExitCode, 130) << result.Err;
    EXPECT_EQ(Tree(out.Path), (std::set<std::string>{"1 short.m4a"}));
    EXPECT_TRUE(Tree(temp.Path).empty());
    EXPECT_NE(result.Err.find("1 converted, 0 skipped, 0 failed; stopped"), std::string::npos)
        << result.Err;
    // The stopped source converts on the next run as if never begun.
    EXPECT_LT(result.Seconds, 20);
}

// On a terminal the status line is redrawn in place; the per-source lines stay out of it.
TEST(ConvertCli, ProgressRedrawsOnATerminalOnly) {
    TScopedFolder lib, out;
    Flac(lib / "a.flac", 60, {});
    Wav(lib / "b.wav", 2);
    const std::string onPty = R"(
import os, pty, sys
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
out = b''
while True:
    try:
        data = os.read(fd, 65536)
    except OSError:
        break
    if not data:
        break
    out += data
sys.stdout.buffer.write(out)
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
)";
    const TRunResult tty = RunTool({"/usr/bin/python3", "-c", onPty, Program, "-j", "1", "-o",
                                    (out / "tty").string(), lib.Path.string()});
    ASSERT_EQ(tty.ExitCode, 0) << tty.Out << tty.Err;
    EXPECT_GE(std::count(tty.Out.begin(), tty.Out.end(), '\r'), 3) << tty.Out;
    EXPECT_NE(tty.Out.find("\r[0/2] 0%  a.flac\033[K"), std::string::npos) << tty.Out;
    EXPECT_TRUE(
        std::regex_search(tty.Out, std::regex("\r\\[0/2\\] [1-9][0-9]?%, [0-9:]+ left  a\\.flac")))
        << tty.Out;
    EXPECT_EQ(tty.Out.find("converted "), std::string::npos);
    EXPECT_NE(tty.Out.find("2 converted, 0 skipped, 0 failed"), std::string::npos);

    const TRunResult pipe =
        RunTool({Program, "-j", "1", "-o", (out / "pipe").string(), lib.Path.string()});
    ASSERT_EQ(pipe.ExitCode, 0) << pipe.Err;
    EXPECT_EQ(pipe.Err.find_first_of("\r\033"), std::string::npos) << pipe.Err;
    EXPECT_EQ(Lines(pipe.Err).size(), 3u) << pipe.Err;

    const TRunResult quiet = RunTool(
        {Program, "-q", "--progress=always", "-o", (out / "pipe").string(), lib.Path.string()});
    EXPECT_EQ(quiet.ExitCode, 0);
    EXPECT_EQ(quiet.Err, "");
}

// Sources converted side by side, each job on a terminal of its own (run under ThreadSanitizer
// in the tsan preset).
TEST(ConvertCli, SideBySideJobsKeepTheirOwnTools) {
    TScopedFolder lib, out;
    for (const char* name : {"a", "b", "c", "d"})
        Flac(lib / (std::string(name) + ".flac"), 2, {"TITLE=" + std::string(name)});
    const TRunResult result =
        RunTool({Program, "-j", "4", "-o", out.Path.string(), lib.Path.string()});
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    for (const char* name : {"a", "b", "c", "d"})
        EXPECT_EQ(Tag(out / (std::string(name) + ".m4a"), "title"), name);
}

TEST(ConvertCli, BadUsageNamesTheProblemAndExitsWithTwo) {
    TScopedFolder out;
    const std::string file = (out / "x.wav").string();
    Wav(file, 0.5);
    const std::vector<std::vector<std::string>> cases = {
        {"--jobs=0", file},
        {"-j", "x", file},
        {"--cbr=101", file},
        {"--abr", "20", file},
        {"--quality=100", file},
        {"--ext=.ogg", file},
        {"--bogus", file},
        {"--progress=x", file},
        {"--flat", file},
        {"-o"},
        {},
        {"-n", "-z", file},
    };
    for (const auto& args : cases) {
        std::vector<std::string> argv = {Program};
        argv.insert(argv.end(), args.begin(), args.end());
        const TRunResult result = RunTool(argv);
        EXPECT_EQ(result.ExitCode, 2) << args.size() << " " << result.Err;
        const std::vector<std::string> lines = Lines(result.Err);
        ASSERT_EQ(lines.size(), 2u) << result.Err;
        EXPECT_EQ(lines[0].rfind("parvane-convert: ", 0), 0u);
        EXPECT_EQ(lines[1], "Try 'parvane-convert --help' for more information.");
        EXPECT_EQ(result.Out, "");
    }
    EXPECT_EQ(Tree(out.Path), (std::set<std::string>{"x.wav"}));

    // "--" ends the options: what follows is a name, however it starts.
    const TRunResult ended = RunTool({Program, "-n", "--", "--help"});
    EXPECT_EQ(ended.ExitCode, 1);
    EXPECT_NE(ended.Err.find("--help: "), std::string::npos) << ended.Err;
}

// --help and the manual page list the same options, and man renders the page.
TEST(ConvertCli, HelpAndManualPageListTheSameOptions) {
    const TRunResult help = RunTool({Program, "--help"});
    ASSERT_EQ(help.ExitCode, 0);
    EXPECT_EQ(help.Err, "");
    const TRunResult version = RunTool({Program, "--version"});
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_EQ(version.Out.rfind("parvane-convert ", 0), 0u);

    const std::string page = PARVANE_SOURCE_DIR "/data/parvane-convert.1";
    const TRunResult man = RunTool({"/usr/bin/man", "-l", page});
    ASSERT_EQ(man.ExitCode, 0) << man.Err;
    const auto options = [](const std::string& text) {
        std::set<std::string> found;
        const std::regex option("(^|[ ,])(-[a-z]|--[a-z][a-z-]+)");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
             it != std::sregex_iterator(); ++it)
            found.insert((*it)[2]);
        return found;
    };
    std::string rendered = man.Out;
    // man marks words with backspaces when it writes to a pipe.
    for (std::size_t at; (at = rendered.find('\b')) != std::string::npos;)
        rendered.erase(at - 1, 2);
    const std::string synopsis = rendered.substr(rendered.find("OPTIONS"));
    const std::set<std::string> listed = options(help.Out);
    EXPECT_GE(listed.size(), 20u);
    EXPECT_EQ(options(synopsis.substr(0, synopsis.find("EXIT STATUS"))), listed);
}
