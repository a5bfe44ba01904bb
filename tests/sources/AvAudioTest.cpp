// The source kind for what FFmpeg's libraries decode, through the job: length, audio, tags and
// cover in the MP4, damaged and false files, mixed rates, sheets over a WavPack image.

#include "SourceTestFiles.h"
#include "job/Mp4.h"
#include "pipeline/PipelineTestSupport.h"

#include <algorithm>

using namespace sourcetest;
using tooltest::TScopedFolder;

namespace {

// Tags a file with mutagen as its own kind stores them: KIND PATH COVER.
const char* const Tagger = R"(
import sys, base64
kind, path, cover = sys.argv[1], sys.argv[2], open(sys.argv[3], 'rb').read()
v = dict(title='T\u00eftle', artist='\u00c4rtist', album='Alb', comment='Cmt', genre='Jazz',
         year='2011', albumartist='Various', composer='Bach')
if kind == 'ape':
    from mutagen.apev2 import APEv2, APEValue, BINARY
    t = APEv2()
    for k, x in (('Title', v['title']), ('Artist', v['artist']), ('Track', '3/12'),
                 ('Album', v['album']), ('Comment', v['comment']), ('Genre', v['genre']),
                 ('Year', v['year']), ('Album Artist', v['albumartist']), ('Disc', '1/2'),
                 ('Composer', v['composer']), ('Compilation', '1')):
        t[k] = x
    t['Cover Art (Front)'] = APEValue(b'cover.png\0' + cover, BINARY)
    t.save(path)
elif kind == 'mp4':
    from mutagen.mp4 import MP4, MP4Cover
    f = MP4(path)
    f['\xa9nam'], f['\xa9ART'], f['\xa9alb'] = v['title'], v['artist'], v['album']
    f['\xa9cmt'], f['\xa9gen'], f['\xa9day'] = v['comment'], v['genre'], v['year']
    f['aART'], f['\xa9wrt'], f['cpil'] = v['albumartist'], v['composer'], True
    f['trkn'], f['disk'] = [(3, 12)], [(1, 2)]
    f['covr'] = [MP4Cover(cover, MP4Cover.FORMAT_PNG)]
    f.save()
elif kind in ('aiff', 'wav'):
    from mutagen.aiff import AIFF
    from mutagen.wave import WAVE
    from mutagen.id3 import TIT2, TPE1, TRCK, TALB, COMM, TCON, TDRC, TPE2, TPOS, TCOM, TCMP, APIC
    f = AIFF(path) if kind == 'aiff' else WAVE(path)
    f.add_tags()
    for frame in (TIT2(text=v['title']), TPE1(text=v['artist']), TRCK(text='3/12'),
                  TALB(text=v['album']), COMM(lang='eng', desc='', text=v['comment']),
                  TCON(text=v['genre']), TDRC(text=v['year']), TPE2(text=v['albumartist']),
                  TPOS(text='1/2'), TCOM(text=v['composer']), TCMP(text='1'),
                  APIC(mime='image/png', type=3, desc='', data=cover)):
        frame.encoding = 3
        f.tags.add(frame)
    f.save()
elif kind in ('vorbis', 'opus'):
    from mutagen.oggvorbis import OggVorbis
    from mutagen.oggopus import OggOpus
    from mutagen.flac import Picture
    f = OggVorbis(path) if kind == 'vorbis' else OggOpus(path)
    for k, x in (('TITLE', v['title']), ('ARTIST', v['artist']), ('TRACKNUMBER', '3'),
                 ('TRACKTOTAL', '12'), ('ALBUM', v['album']), ('COMMENT', v['comment']),
                 ('GENRE', v['genre']), ('DATE', v['year']), ('ALBUMARTIST', v['albumartist']),
                 ('DISCNUMBER', '1'), ('DISCTOTAL', '2'), ('COMPOSER', v['composer']),
                 ('COMPILATION', '1')):
        f[k] = x
    p = Picture()
    p.type, p.mime, p.data = 3, 'image/png', cover
    f['METADATA_BLOCK_PICTURE'] = [base64.b64encode(p.write()).decode()]
    f.save()
elif kind == 'asf':
    import struct
    from mutagen.asf import ASF, ASFByteArrayAttribute
    f = ASF(path)
    for k, x in (('Title', v['title']), ('Author', v['artist']), ('WM/TrackNumber', '3/12'),
                 ('WM/AlbumTitle', v['album']), ('Description', v['comment']),
                 ('WM/Genre', v['genre']), ('WM/Year', v['year']),
                 ('WM/AlbumArtist', v['albumartist']), ('WM/PartOfSet', '1/2'),
                 ('WM/Composer', v['composer'])):
        f[k] = x
    blob = (struct.pack('<BI', 3, len(cover)) + 'image/png\0'.encode('utf-16-le') +
            '\0'.encode('utf-16-le') + cover)
    f['WM/Picture'] = [ASFByteArrayAttribute(blob)]
    f.save()
)";

struct TKindCase {
    const char* Name;
    const char* Extension;
    Strings Encode;
    const char* Tags;
    int Channels;
    int Rate;
    int Bits;
    bool Lossless;
    // WMA carries no compilation flag TagLib reads.
    bool Compilation = true;
};

const std::vector<TKindCase> Kinds = {
    {"wavpack", ".wv", {}, "ape", 2, 44100, 16, true},
    {"wavpack_hybrid", ".wv", {"wavpack", "-b320"}, "ape", 2, 44100, 16, false},
    {"wavpack24", ".wv", {}, "ape", 6, 96000, 24, true},
    {"alac", ".m4a", {"-c:a", "alac"}, "mp4", 2, 48000, 24, true},
    {"aiff", ".aiff", {"-c:a", "pcm_s16be"}, "aiff", 1, 44100, 16, true},
    {"tta", ".tta", {"-c:a", "tta"}, "ape", 2, 44100, 24, true},
    {"vorbis", ".ogg", {"-c:a", "libvorbis"}, "vorbis", 2, 44100, 16, false},
    {"opus", ".opus", {"-c:a", "libopus"}, "opus", 2, 48000, 16, false},
    {"wma", ".wma", {"-c:a", "wmav2"}, "asf", 2, 44100, 16, false, false},
    {"alaw", ".wav", {"-c:a", "pcm_alaw"}, "wav", 1, 8000, 16, false},
};

class AvAudioJob : public testing::Test {
protected:
    TScopedFolder Work;
    pipelinetest::TScopedTmpDir Tmp{Work / "tmp"};
    TMP4 Job;
    std::vector<Strings> Errors;

    AvAudioJob() {
        Job.OutputExt = ".m4a";
        Job.SetEncoderOption("-cbr 128000");
        Job.OnSourceDone = [this](TMP4& j) {
            if (j.Failed)
                Errors.push_back(j.ErrorLines);
        };
    }

    fs::path Make(const TKindCase& c, std::uint64_t frames, const fs::path& name) {
        const fs::path wav = name.string() + ".src.wav";
        tooltest::WriteWav(wav, {c.Channels, c.Rate, c.Bits}, frames);
        // WavPack files come from WavPack's own encoder.
        Strings argv = {"/usr/bin/wavpack", "-q", "-y"};
        if (!c.Encode.empty())
            argv.insert(argv.end(), c.Encode.begin() + 1, c.Encode.end());
        argv.insert(argv.end(), {wav.string(), "-o", name.string()});
        if (!c.Encode.empty() && c.Encode[0] != "wavpack") {
            argv = {"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-y", "-i", wav.string()};
            argv.insert(argv.end(), c.Encode.begin(), c.Encode.end());
            argv.push_back(name.string());
        }
        EXPECT_EQ(tooltest::RunTool(argv).ExitCode, 0) << c.Name;
        return name;
    }

    // Each source into a file of its own beside it.
    bool RunSeparate(const Strings& files) {
        Job.ClearAll();
        Errors.clear();
        for (const std::string& file : files)
            EXPECT_TRUE(Job.AddSrcFile(file)) << file;
        const bool result = Job.DoConvert(false, false);
        EXPECT_TRUE(pipelinetest::TempWavs(Work / "tmp").empty());
        return result;
    }
};

std::size_t Frames(const fs::path& file, int channels) {
    return tooltest::DecodeFloat(file).size() / static_cast<std::size_t>(channels);
}

// The samples a gapless player plays of an MP4: its edit list's length.
std::size_t Mp4Frames(const fs::path& mp4) {
    return std::stoull(tooltest::Probe(mp4, "stream=duration_ts").at("duration_ts"));
}

} // namespace

// Every kind converts to its decoded length, sounds like its source, and hands on all its tags
// and its cover as its own tagger stored them.
TEST_F(AvAudioJob, EveryKindConvertsWithItsLengthTagsAndCover) {
    const fs::path cover = tooltest::MakeImage(Work, "art.png", "12x10");
    for (const TKindCase& c : Kinds) {
        SCOPED_TRACE(c.Name);
        const std::uint64_t frames = static_cast<std::uint64_t>(c.Rate) * 2 + 123;
        const fs::path source = Make(c, frames, Work / (std::string(c.Name) + c.Extension));
        ASSERT_EQ(tooltest::RunTool(
                      {"/usr/bin/python3", "-c", Tagger, c.Tags, source.string(), cover.string()})
                      .ExitCode,
                  0);
        ASSERT_TRUE(RunSeparate({source.string()}));
        EXPECT_TRUE(Errors.empty());
        const fs::path out = Work / (std::string(c.Name) + ".m4a");
        ASSERT_TRUE(fs::exists(out));
        // Lossless: the source's own count; lossy: what ffmpeg's decode of the source gives.
        const std::size_t expected = c.Lossless ? frames : Frames(source, c.Channels);
        EXPECT_EQ(Mp4Frames(out), expected);
        const std::vector<float> audio = tooltest::DecodeFloat(out);
        EXPECT_NEAR(tooltest::ToneFrequency(audio, c.Channels, 0, c.Rate), 1000, 10);

        auto atoms = tooltest::Mp4Atoms(out);
        EXPECT_EQ(atoms["\u00A9nam"], "T\u00EFtle");
        EXPECT_EQ(atoms["\u00A9ART"], "\u00C4rtist");
        EXPECT_EQ(atoms["\u00A9alb"], "Alb");
        EXPECT_EQ(atoms["\u00A9cmt"], "Cmt");
        EXPECT_EQ(atoms["\u00A9gen"], "Jazz");
        EXPECT_EQ(atoms["\u00A9day"], "2011");
        EXPECT_EQ(atoms["trkn"], "3/12");
        EXPECT_EQ(atoms["disk"], "1/2");
        EXPECT_EQ(atoms["aART"], "Various");
        EXPECT_EQ(atoms["\u00A9wrt"], "Bach");
        if (c.Compilation) {
            EXPECT_EQ(atoms["cpil"], "1");
        }
        EXPECT_TRUE(tooltest::CoverBytes(out) == tooltest::ReadFile(cover)) << "cover differs";
    }
}

// A cut lossless file, a text file named .ogg and a file whose codec has no decoder each show
// their reason first, leave nothing under their output names, and the rest of the run converts.
TEST_F(AvAudioJob, BadFilesFailWithTheirReasonFirstAndTheRestConverts) {
    Strings files;
    for (const TKindCase& c : Kinds) {
        if (!c.Lossless)
            continue;
        const fs::path whole =
            Make(c, 44100 * 2, Work / (std::string("whole-") + c.Name + c.Extension));
        const std::string bytes = tooltest::ReadFile(whole);
        fs::remove(whole);
        const fs::path cut = Work / (std::string("cut-") + c.Name + c.Extension);
        tooltest::WriteFile(cut, bytes.substr(0, bytes.size() * 6 / 10));
        files.push_back(cut.string());
    }
    // Its banner line names it, and the word in its name must not pass for the reason.
    const fs::path text = Work / "error-notes.ogg";
    tooltest::WriteFile(text, std::string(500, 'x') + "\nno audio here\n");
    files.push_back(text.string());
    const fs::path good = Make(Kinds[0], 44100, Work / "good.wv");
    files.push_back(good.string());

    const std::vector<std::string> before = Work.Names();
    EXPECT_TRUE(RunSeparate(files));
    ASSERT_EQ(Errors.size(), files.size() - 1);
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        ASSERT_FALSE(Errors[i].empty());
        EXPECT_NE(Errors[i].front().find("error"), std::string::npos) << Errors[i].front();
    }
    std::vector<std::string> after = Work.Names();
    after.erase(std::find(after.begin(), after.end(), "good.m4a"));
    EXPECT_EQ(after, before) << "a failed source left an output";
    EXPECT_NE(Errors.back().front().find("recognise"), std::string::npos);
    EXPECT_EQ(Mp4Frames(Work / "good.m4a"), 44100u);
}

// Opus is 48 kHz: combined with a 44.1 kHz source the run is refused as for any mixed rates.
TEST_F(AvAudioJob, OpusWithCdAudioInOneFileIsRefusedAsMixedRates) {
    const fs::path opus = Make(Kinds[7], 48000, Work / "a.opus");
    const fs::path wv = Make(Kinds[0], 44100, Work / "b.wv");
    ASSERT_TRUE(Job.AddSrcFile(opus.string()));
    ASSERT_TRUE(Job.AddSrcFile(wv.string()));
    Job.SetOutputName("all");
    Job.SetOutputDir((Work / "out").string() + "/");
    fs::create_directories(Work / "out");
    EXPECT_FALSE(Job.DoConvert(true, true));
    EXPECT_FALSE(Job.SameSampleRate);
    EXPECT_NE(Job.Refusal.find("48000 Hz and 44100 Hz"), std::string::npos) << Job.Refusal;
    EXPECT_TRUE((Work / "out").empty() || fs::is_empty(Work / "out"));
}

// A WavPack image with its sheet gives each track its samples exactly, also where the sheet names
// the WAV the image was made from, as rippers write it.
TEST_F(AvAudioJob, WavPackImageWithSheetGivesItsTracksSampleExact) {
    // 588 samples a CD frame: tracks at 0, 1.5 s (frame 112 of second 1) and 3 s.
    const fs::path image = Make(Kinds[0], 44100 * 4 + 100, Work / "album.wv");
    tooltest::WriteFile(Work / "album.cue",
                        "PERFORMER \"P\"\nTITLE \"A\"\nFILE \"album.wav\" WAVE\n"
                        "  TRACK 01 AUDIO\n    TITLE \"One\"\n"
                        "    INDEX 01 00:00:00\n"
                        "  TRACK 02 AUDIO\n    TITLE \"Two\"\n"
                        "    INDEX 01 00:01:37\n"
                        "  TRACK 03 AUDIO\n    TITLE \"Three\"\n"
                        "    INDEX 01 00:03:00\n");
    const auto tracks = Job.AddCueSheet((Work / "album.cue").string());
    ASSERT_EQ(tracks.size(), 3u) << Job.SheetError;
    fs::create_directories(Work / "out");
    Job.SetOutputDir((Work / "out").string() + "/");
    ASSERT_TRUE(Job.DoConvert(false, true));
    const std::size_t second = 44100 + 37 * 588;
    EXPECT_EQ(Mp4Frames(Work / "out" / "01 - One.m4a"), second);
    EXPECT_EQ(Mp4Frames(Work / "out" / "02 - Two.m4a"), 3 * 44100 - second);
    EXPECT_EQ(Mp4Frames(Work / "out" / "03 - Three.m4a"), 44100u + 100);
    EXPECT_TRUE(fs::exists(image));
}

// An APE header whose frame count its file cannot hold is called damaged, not taken for a
// recording that needs terabytes of room; an intact one of each header layout still converts.
TEST_F(AvAudioJob, ApeHeaderClaimingMoreThanItsFileHoldsIsDamaged) {
    const std::string intact = tooltest::ReadFile(Ape("mac-399.ape"));
    std::string damaged = intact;
    const std::uint32_t descriptor =
        static_cast<unsigned char>(damaged[8]) | static_cast<unsigned char>(damaged[9]) << 8;
    // The header's frame count, little-endian, after the descriptor.
    for (int i = 0; i < 4; ++i)
        damaged[descriptor + 12 + i] = '\xF0';
    tooltest::WriteFile(Work / "damaged.ape", damaged);
    fs::copy_file(Ape("mac-396.ape"), Work / "old.ape");
    fs::copy_file(Ape("mac-399.ape"), Work / "new.ape");
    const std::vector<std::string> before = Work.Names();
    Job.FolderRoom = [](const std::string&) {
        return std::optional<platform::TFolderRoom>(platform::TFolderRoom{1ull << 30, 1});
    };
    EXPECT_TRUE(RunSeparate({(Work / "damaged.ape").string(), (Work / "old.ape").string(),
                             (Work / "new.ape").string()}));
    EXPECT_EQ(Job.Refusal, "");
    ASSERT_EQ(Errors.size(), 1u) << testing::PrintToString(Errors);
    EXPECT_EQ(Errors[0].front(), "The header of " + (Work / "damaged.ape").string() +
                                     " claims more audio than the file can hold: the file is "
                                     "damaged.");
    std::vector<std::string> after = Work.Names();
    EXPECT_EQ(after.size(), before.size() + 2);
    EXPECT_TRUE(fs::exists(Work / "old.m4a"));
    EXPECT_TRUE(fs::exists(Work / "new.m4a"));
}
