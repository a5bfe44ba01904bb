#pragma once

#include "pipeline/AbortState.h"
#include "pipeline/Cons.h"
#include "platform/TempFile.h"
#include "tags/StreamHeader.h"
#include "tags/TagField.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One input file of a job. Each kind decodes its file into a WAV (or is one) and turns its tags
// into "-meta:" arguments for the tagger.
class TBase {
public:
    bool Failed = false;
    bool NameAsTitle = false;
    int Percent = 0;
    // The largest cover image carried.
    static constexpr std::size_t MaxCoverBytes = std::size_t{16} << 20;
    // The job reports the kind it decodes as its activity, so the numbers are kept.
    enum : int {
        KindNone = 0,
        KindApe = 1,
        KindFlac = 2,
        KindMp3 = 3,
        KindWav = 4,
        KindRawCd = 5,
        KindAv = 6
    };
    int Kind = KindNone;
    // The 8-bit code page its tags are read in; 0 for the system's.
    int CodePage = 0;
    int SampleRate = 0;
    // Of the WAV CheckFile read last; 0 when it had no format.
    int Channels = 0;
    std::array<std::string, TagFieldCount> TagNames = {"TITLE",   "ARTIST", "TRACKNUMBER", "ALBUM",
                                                       "COMMENT", "GENRE",  "DATE"};
    // Indexed by TTagField; the named fields below take their copies in AppendAllMetaArgs.
    std::array<std::string, AllTagFieldCount> TagValues;
    std::string Album, Artist, Comment, Year, Genre;
    std::string SrcFile;
    std::string WavFile;
    std::string Title, Track;
    TCons Cons;
    std::function<void(TBase&)> OnProgress;
    std::vector<std::string> ErrorLines;
    std::vector<std::string> MetaArgs;
    // The front cover found by FindCover; it goes with the WAV.
    platform::TTempFile Cover;

    TBase(const TBase&) = delete;
    TBase& operator=(const TBase&) = delete;
    virtual ~TBase() = default;

    virtual bool AcceptsFile(const std::string& fileName);
    // Whole seconds of WavFile's audio, -1 when it is not a RIFF file.
    virtual int WavLength();
    // A new, empty temporary file as WavFile, unless an abort is pending.
    virtual void MakeWavName();
    virtual bool Decode();
    // Removes the temporary WAV and the cover.
    virtual void DeleteWav();
    virtual void CollectTags();
    // What the source decodes to, from its own header and before any decode; nothing when the
    // header does not say.
    virtual std::optional<TPcmSize> PcmSize() { return std::nullopt; }
    // The source whose decode this one reads: itself, or the image a track is cut from.
    virtual TBase& Image() { return *this; }
    // The part of its decode the encoder reads, "FIRST:END" in samples, or nothing for all of it.
    virtual std::string InputRange() const { return {}; }
    // An output of its own is named this, with the output's extension.
    virtual std::string OutputStem() const;
    // What a file of several such sources carries as a whole; nothing to take the first's.
    virtual std::vector<std::string> FileMetaArgs() const { return {}; }
    // The source's own front cover, else an image beside it, into Cover; only for a decoded
    // source and while no abort is pending.
    void FindCover();

    // The job's abort state, which this source and its tool runs follow from now on.
    void SetAbort(const TAbortState& abort);
    // The terminal this source's tools run in from now on; none: the process's own.
    void SetConsole(platform::TConsole* console) { Cons.Console = console; }
    // Work the job keeps going while this source's tools run.
    void SetBeside(std::function<void()> work) { Cons.Beside = std::move(work); }

    // Takes the path only once, and only an existing file this kind accepts.
    void SetSrcFile(const std::string& path);
    // At least a header's worth of bytes, and for a WAV source a RIFF file. Sets SampleRate.
    bool CheckFile(const std::string& path);
    bool SrcFileOk() { return CheckFile(SrcFile); }
    bool WavFileOk() { return CheckFile(WavFile); }

    // A path or tag value as it goes on a tool's command line.
    static std::string QuoteArg(const std::string& text);
    static std::string Utf8ToText(std::string_view bytes);
    // One tagger argument: "-meta:" name "=" and the quoted value.
    static std::string MetaArg(const std::string& name, const std::string& value);
    // A whole number after optional leading blanks; nothing for anything else.
    static std::optional<int> ParseInteger(std::string_view text);

    std::string& TagValue(TTagField field) { return TagValues[Slot(field)]; }

    // SrcFile's name without folder and extension, the title when the tags give none.
    std::string FileTitle() const;

protected:
    TBase() = default;

    // SrcFile's header read by one of the StreamHeader readers; nothing when it cannot be opened.
    std::optional<TPcmSize> ReadPcmSize(std::optional<TPcmSize> (*reader)(TByteSource&)) const;

    // The decoding steps every tool-based kind shares, after MakeWavName: runs the tool of the
    // application folder with these arguments, parser installed as the poll handler, and judges
    // the WAV it leaves. False without any other effect when the tool is not there.
    bool RunDecoder(const char* tool, const std::string& arguments, std::function<void()> parser);
    // Sets Percent from every screen line lineValue reads and reports each value that rises
    // within this screen. Lines it cannot read leave Percent alone.
    void ParseScreen(std::optional<int> (*lineValue)(const std::string& line));
    // SrcFile as a tool argument. The tools run in the application folder, so a relative path
    // is made absolute; that also keeps a name starting with '-' from reading as an option.
    std::string SrcArg() const;
    // The tagger fields from TagValues, then their seven arguments in TagNames order, then the
    // further ones (AppendFurtherMetaArgs).
    void AppendAllMetaArgs();
    // The arguments after the seven, from their TagValues: AlbumArtist, Disc, TrackTotal,
    // Composer, Compilation. The track total comes from a Track of "n/m" when none was given, and
    // a compilation flag other than 1 is none. True when one of them is non-empty.
    bool AppendFurtherMetaArgs();
    // The picture the file itself carries, through KeepCover; false when it has none usable.
    virtual bool ReadEmbeddedCover() { return false; }
    // A JPEG or PNG image of at most MaxCoverBytes into Cover; false for anything else.
    bool KeepCover(std::span<const std::uint8_t> image);
    // Judges the image a tool wrote into Cover and drops it when it is no cover to carry.
    bool CoverFileOk();
    // A JPEG or PNG image of at most MaxCoverBytes whose size can be read: the tagger refuses
    // any other, and with it the whole tagging of the file.
    static bool IsCoverImage(std::span<const std::uint8_t> image);

private:
    // None until a job hands its own: nothing stops this source then.
    const TAbortState* Abort = nullptr;
    bool AbortAsked() const { return Abort && Abort->Requested(); }
    // An image named cover, folder or front in SrcFile's folder.
    bool ReadFolderCover();
};
