#include "ToolTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

using namespace tooltest;

namespace {

const std::string Tagger = Tool("neroAacTag");

// An MP4 made by the project's encoder from `inputs` short tones, one chapter each when several.
fs::path MakeMp4(const TScopedFolder& dir, const std::string& name, int inputs,
                 std::uint64_t frames = 22050, int channels = 2) {
    TWavSpec spec;
    spec.Channels = channels;
    std::vector<std::string> args = {Tool("neroAacEnc"), "-cbr", "96000"};
    for (int i = 0; i < inputs; ++i) {
        const auto wav = dir / (name + Numbered("-", i, ".wav"));
        WriteWav(wav, spec, frames, TSignal::Sine, 300.0 + 50 * i);
        args.insert(args.end(), {"-if", wav.string()});
    }
    const auto mp4 = dir / name;
    args.insert(args.end(), {"-of", mp4.string()});
    auto r = RunTool(args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    for (int i = 0; i < inputs; ++i)
        fs::remove(dir / (name + Numbered("-", i, ".wav")));
    return mp4;
}

std::map<std::string, std::string> FileTags(const fs::path& mp4) {
    return Probe(mp4, "format_tags=title,artist,album,comment,genre,date,track");
}

std::string Duration(const fs::path& mp4) {
    return Probe(mp4, "format=duration")["duration"];
}

} // namespace

TEST(NeroAacTag, WritesTheJobsValuesExactlyAndKeepsTheAudio) {
    TScopedFolder dir;
    const auto mp4 = MakeMp4(dir, "album.m4a", 3);
    const std::string md5 = AudioPacketMd5(mp4);
    const std::string duration = Duration(mp4);
    ASSERT_FALSE(md5.empty());
    const std::string comment(150, 'c');
    auto r = RunTool({Tagger, mp4.string(), "-chapter:1", "-meta:Title=Say \"Hi\"",
                      "-meta:Artist=Émile Ørsted", "-meta:Track=3/12", "-meta:Album=A=B \"live\"",
                      "-meta:Comment=" + comment + "=", "-meta:Genre=Kraut Rock", "-meta:Year=1999",
                      "-chapter:2", "-meta:Title=", "-meta:Artist=Someone", "-chapter:3",
                      "-META:title=Dritter Teil ü"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;

    auto tags = FileTags(mp4);
    // A file of several chapters is titled by chapter 1's album.
    EXPECT_EQ(tags["TAG:title"], "A=B \"live\"");
    EXPECT_EQ(tags["TAG:artist"], "Émile Ørsted");
    EXPECT_EQ(tags["TAG:album"], "A=B \"live\"");
    EXPECT_EQ(tags["TAG:comment"], comment + "=");
    EXPECT_EQ(tags["TAG:genre"], "Kraut Rock");
    EXPECT_EQ(tags["TAG:date"], "1999");
    EXPECT_EQ(tags["TAG:track"], "3/12");
    const auto chapters = Chapters(mp4);
    ASSERT_EQ(chapters.size(), 3u);
    EXPECT_EQ(chapters[0].Title, "Say \"Hi\"");
    EXPECT_EQ(chapters[1].Title, "Chapter 2");
    EXPECT_EQ(chapters[2].Title, "Dritter Teil ü");
    EXPECT_EQ(AudioPacketMd5(mp4), md5);
    EXPECT_EQ(Duration(mp4), duration);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"album.m4a"});
}

TEST(NeroAacTag, FileLevelValuesAndTheSingleChapterRules) {
    TScopedFolder dir;
    // One source: no chapters in the file, which takes chapter 1's title; empty values vanish.
    const auto single = MakeMp4(dir, "single.mp4", 1);
    auto r = RunTool({Tagger, single.string(), "-chapter:1", "-meta:Title=Song",
                      "-meta:Album=Record", "-meta:Comment=", "-meta:Track=7", "-meta:Genre="});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    auto tags = FileTags(single);
    EXPECT_EQ(tags["TAG:title"], "Song");
    EXPECT_EQ(tags["TAG:album"], "Record");
    EXPECT_EQ(tags["TAG:track"], "7");
    EXPECT_EQ(tags.count("TAG:comment"), 0u);
    EXPECT_EQ(tags.count("TAG:genre"), 0u);
    EXPECT_TRUE(Chapters(single).empty());

    // Arguments before the first -chapter: are the file's own; chapters keep their names.
    const auto two = MakeMp4(dir, "two.m4a", 2);
    r = RunTool({Tagger, two.string(), "-meta:title=Whole", "-meta:ARTIST=Band", "-chapter:1",
                 "-meta:Title=First", "-meta:Album=Ignored"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    tags = FileTags(two);
    EXPECT_EQ(tags["TAG:title"], "Whole");
    EXPECT_EQ(tags["TAG:artist"], "Band");
    EXPECT_EQ(tags.count("TAG:album"), 0u);
    const auto chapters = Chapters(two);
    ASSERT_EQ(chapters.size(), 2u);
    EXPECT_EQ(chapters[0].Title, "First");
    EXPECT_EQ(chapters[1].Title, "Chapter 2");

    for (const auto& bad :
         std::vector<std::string>{"-meta:Colour=red", "-meta:Title", "-chapter:x"})
        EXPECT_EQ(RunTool({Tagger, two.string(), bad}).ExitCode, 2) << bad;
}

TEST(NeroAacTag, KeepsTheChapterTrackAloneAbove255Chapters) {
    TScopedFolder dir;
    const auto mp4 = MakeMp4(dir, "many.m4a", 260, 1500, 1);
    std::vector<std::string> args = {Tagger, mp4.string()};
    for (int k = 1; k <= 260; ++k)
        args.insert(args.end(), {Numbered("-chapter:", k), Numbered("-meta:Title=Movement ", k),
                                 "-meta:Album=Many"});
    auto r = RunTool(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(mp4).find("chpl"), std::string::npos);
    const auto chapters = Chapters(mp4);
    ASSERT_EQ(chapters.size(), 260u);
    EXPECT_EQ(chapters[0].Title, "Movement 1");
    EXPECT_EQ(chapters[259].Title, "Movement 260");
    EXPECT_EQ(FileTags(mp4)["TAG:title"], "Many");
}

TEST(NeroAacTag, FailuresLeaveTheFileExactlyAsItWas) {
    TScopedFolder dir;
    const auto mp4 = MakeMp4(dir, "song.m4a", 2);
    const std::string original = ReadFile(mp4);
    const std::vector<std::string> tags = {"-chapter:1", "-meta:Title=New"};
    auto tag = [&](const fs::path& file, const TRunOptions& options = {}) {
        std::vector<std::string> args = {Tagger, file.string()};
        args.insert(args.end(), tags.begin(), tags.end());
        return RunTool(args, options);
    };

    auto r = tag(dir / "absent.m4a");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("No such file"), std::string::npos) << r.Err;

    WriteWav(dir / "sound.m4a", TWavSpec{}, 4410);
    const std::string wav = ReadFile(dir / "sound.m4a");
    r = tag(dir / "sound.m4a");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("not an MP4 file"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(dir / "sound.m4a"), wav);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"song.m4a", "sound.m4a"}));
    fs::remove(dir / "sound.m4a");

    // A folder the tagger may not write in.
    fs::permissions(mp4, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                             fs::perms::others_read | fs::perms::others_write);
    fs::permissions(dir.Path,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    TRunOptions unprivileged;
    unprivileged.Unprivileged = true;
    r = tag(mp4, unprivileged);
    fs::permissions(dir.Path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("Permission denied"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(mp4), original);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"song.m4a"});

    // A full disk: a small tmpfs where the test may mount one, else a file size limit.
    const auto full = dir / "full";
    TRunOptions limited;
    if (dir.MountSmallTmpfs("full", "1m")) {
        WriteFile(full / "song.m4a", original);
        std::string filler(4096, 'f');
        {
            std::ofstream out(full / "filler", std::ios::binary);
            while (out.write(filler.data(), static_cast<std::streamsize>(filler.size())))
                ;
        }
        fs::resize_file(full / "filler", fs::file_size(full / "filler") - original.size() / 2);
    } else {
        WriteFile(full / "song.m4a", original);
        limited.FileSizeLimit = static_cast<long long>(original.size() / 2);
    }
    const auto before = dir.Names();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(full))
        names.push_back(e.path().filename().string());
    r = tag(full / "song.m4a", limited);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("unchanged"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(full / "song.m4a"), original);
    std::vector<std::string> after;
    for (const auto& e : fs::directory_iterator(full))
        after.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, names);
    EXPECT_EQ(dir.Names(), before);
}

TEST(NeroAacTag, KeepsTheFilesPermissionsAndFollowsLinks) {
    TScopedFolder dir;
    const auto mp4 = MakeMp4(dir, "real.m4a", 1);
    fs::permissions(mp4, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(mp4, dir / "link.m4a");
    auto r = RunTool({Tagger, (dir / "link.m4a").string(), "-meta:Title=Linked"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_TRUE(fs::is_symlink(dir / "link.m4a"));
    EXPECT_EQ(FileTags(mp4)["TAG:title"], "Linked");
    EXPECT_EQ(fs::status(mp4).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(NeroAacTag, AddsKeepsAndReplacesTheFrontCoverWithoutTouchingTheAudio) {
    TScopedFolder dir;
    const auto mp4 = MakeMp4(dir, "cover.m4a", 2);
    const std::string md5 = AudioPacketMd5(mp4);
    const auto jpeg = MakeImage(dir, "front.jpg", "64x48");
    const auto png = MakeImage(dir, "front.png", "20x30");
    EXPECT_EQ(CoverBytes(mp4), "");

    auto r = RunTool(
        {Tagger, mp4.string(), "-meta:Title=With cover", "-add-cover:front:" + jpeg.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(CoverBytes(mp4), ReadFile(jpeg));
    EXPECT_EQ(RunTool({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                       "stream=codec_name:stream_disposition=attached_pic", "-of",
                       "compact=p=0:nk=1", mp4.string()})
                  .Out,
              "mjpeg|1\n");

    // Tagged again without a cover, the file keeps the one it has, and its chapters.
    ASSERT_EQ(RunTool({Tagger, mp4.string(), "-meta:Artist=Someone"}).ExitCode, 0);
    EXPECT_EQ(CoverBytes(mp4), ReadFile(jpeg));
    EXPECT_EQ(FileTags(mp4)["TAG:title"], "With cover");
    EXPECT_EQ(Chapters(mp4).size(), 2u);

    ASSERT_EQ(RunTool({Tagger, mp4.string(), "-ADD-COVER:front:" + png.string()}).ExitCode, 0);
    EXPECT_EQ(CoverBytes(mp4), ReadFile(png));
    EXPECT_EQ(AudioPacketMd5(mp4), md5);
}

TEST(NeroAacTag, RefusesACoverThatIsNoJpegOrPngAndLeavesTheFileAsItWas) {
    TScopedFolder dir;
    const auto mp4 = MakeMp4(dir, "plain.m4a", 1);
    const std::string before = ReadFile(mp4);
    const auto bmp = MakeImage(dir, "front.bmp", "8x8");
    WriteFile(dir / "fake.jpg", "not an image, only named like one");
    WriteFile(dir / "cut.png", std::string("\x89PNG\r\n\x1A\n", 8));
    for (const auto& [image, reason] : std::vector<std::pair<std::string, std::string>>{
             {bmp.string(), "not a JPEG or PNG image"},
             {(dir / "fake.jpg").string(), "not a JPEG or PNG image"},
             {(dir / "cut.png").string(), "damaged image"},
             {(dir / "absent.png").string(), "No such file"}}) {
        SCOPED_TRACE(image);
        auto r = RunTool({Tagger, mp4.string(), "-meta:Title=X", "-add-cover:front:" + image});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_NE(r.Err.find(reason), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("is unchanged"), std::string::npos) << r.Err;
        EXPECT_EQ(ReadFile(mp4), before);
    }
    for (const char* bad : {"-add-cover:back:x.jpg", "-add-cover:front:"})
        EXPECT_EQ(RunTool({Tagger, mp4.string(), bad}).ExitCode, 2) << bad;
    EXPECT_EQ(ReadFile(mp4), before);
    EXPECT_EQ(dir.Names(),
              (std::vector<std::string>{"cut.png", "fake.jpg", "front.bmp", "plain.m4a"}));
}

TEST(NeroAacTag, WritesTheFurtherAtomsAsTwoReadersSeeThem) {
    TScopedFolder dir;
    const auto untagged = MakeMp4(dir, "untagged.m4a", 1);
    const auto mp4 = dir / "further.m4a";
    const struct {
        std::vector<std::string> Args;
        std::map<std::string, std::string> Atoms;
        std::string Said;
    } cases[] = {
        {{"-meta:Track=3", "-meta:TrackTotal=12", "-meta:Disc=1/2", "-meta:AlbumArtist=Various",
          "-meta:Composer=J. S. Bach", "-meta:Compilation=1"},
         {{"trkn", "3/12"},
          {"disk", "1/2"},
          {"aART", "Various"},
          {"\u00A9wrt", "J. S. Bach"},
          {"cpil", "1"}},
         ""},
        // The track's own total wins; a disc without one is 1 of 0, as iTunes keeps it.
        {{"-meta:Track=3/10", "-meta:TrackTotal=12", "-meta:Disc=2", "-meta:Compilation=0"},
         {{"trkn", "3/10"}, {"disk", "2/0"}, {"cpil", "0"}},
         ""},
        {{"-meta:Track=5", "-meta:TrackTotal="}, {{"trkn", "5/0"}}, ""},
        {{"-meta:Disc=A", "-meta:Compilation=yes", "-meta:TrackTotal=12"},
         {},
         "Disc A is not a number"},
    };
    for (const auto& c : cases) {
        fs::copy_file(untagged, mp4, fs::copy_options::overwrite_existing);
        std::vector<std::string> args = {Tagger, mp4.string(), "-chapter:1"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const auto r = RunTool(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_NE((r.Out + r.Err).find(c.Said), std::string::npos) << r.Out << r.Err;
        auto atoms = Mp4Atoms(mp4);
        for (const char* key : {"trkn", "disk", "aART", "\u00A9wrt", "cpil"}) {
            const auto expected = c.Atoms.find(key);
            EXPECT_EQ(atoms.contains(key) ? atoms[key] : "(none)",
                      expected == c.Atoms.end() ? "(none)" : expected->second)
                << key << " after " << c.Args.front();
        }
    }
    EXPECT_EQ(Probe(mp4, "format_tags=disc,track").count("TAG:disc"), 0u);
    RunTool({Tagger, mp4.string(), "-meta:Disc=1/2", "-meta:Track=4", "-meta:TrackTotal=9"});
    const auto tags = Probe(mp4, "format_tags=disc,track,compilation");
    EXPECT_EQ(tags.at("TAG:disc"), "1/2");
    EXPECT_EQ(tags.at("TAG:track"), "4/9");
}

// Priming 1024, the input's samples exactly and the padding that fills the last packet, in the
// file's first boxes, in separate, combined and tagged-again files of each extension.
TEST(NeroAacTag, GaplessInfoToolNameAndTheIndexFirst) {
    TScopedFolder dir;
    const struct {
        std::string Name;
        int Inputs;
        std::uint64_t Frames;
    } cases[] = {{"one.m4a", 1, 22050}, {"exact.mp4", 1, 1024 * 20}, {"two.m4b", 2, 44101}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto mp4 = MakeMp4(dir, c.Name, c.Inputs, c.Frames);
        for (int round = 0; round < 2; ++round) {
            auto r = RunTool({Tagger, mp4.string(), "-chapter:1", "-meta:Title=Part"});
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
            const auto boxes = TopLevelBoxes(mp4);
            const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
            EXPECT_TRUE(moov < std::find(boxes.begin(), boxes.end(), "mdat") &&
                        moov != boxes.end());
            const auto packets = std::stoull(
                RunTool({"/usr/bin/ffprobe", "-v", "error", "-count_packets", "-show_entries",
                         "stream=nb_read_packets", "-of", "csv=p=0", mp4.string()})
                    .Out);
            const std::uint64_t samples = c.Frames * static_cast<std::uint64_t>(c.Inputs);
            char expected[128];
            std::snprintf(expected, sizeof expected, " 00000000 00000400 %08llX %016llX",
                          static_cast<unsigned long long>(packets * 1024 - 1024 - samples),
                          static_cast<unsigned long long>(samples));
            auto atoms = Mp4Atoms(mp4);
            std::string zeros;
            for (int i = 0; i < 8; ++i)
                zeros += " 00000000";
            EXPECT_EQ(atoms["----:com.apple.iTunes:iTunSMPB"], expected + zeros);
            EXPECT_EQ(Probe(mp4, "format_tags=iTunSMPB")["TAG:iTunSMPB"], expected + zeros);
            EXPECT_TRUE(atoms["\u00A9too"].starts_with("Parvane 1.")) << atoms["\u00A9too"];
            EXPECT_EQ(Probe(mp4, "format_tags=encoder")["TAG:encoder"], atoms["\u00A9too"]);
            EXPECT_EQ(atoms.contains("stik") ? atoms["stik"] : "",
                      c.Name.ends_with(".m4b") ? "2" : "");
            EXPECT_EQ(atoms["\u00A9nam"], "Part");
        }
    }
}
