#pragma once

#include "job/EncodeLane.h"
#include "pipeline/AbortState.h"
#include "pipeline/Base.h"
#include "pipeline/Cons.h"
#include "pipeline/Onename.h"
#include "platform/Files.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Turns a set of sources into AAC in MP4 files: every source decodes to a WAV, the WAVs of one
// output are checked for a common sample rate, encoded in one run and tagged with one chapter
// per source. Separate files are encoded and tagged on lanes of their own while the next source
// decodes. Everything runs inside DoConvert, on the caller's thread; the events let the window
// follow it.
struct TCueImage;
class TCueSheet;

class TMP4 {
public:
    // A track AddCueSheet kept, as the cue list shows it.
    struct TSheetTrack {
        std::string Sheet;
        int Number = 0;
        std::string Title;
        std::string Image;
    };

    using TEvent = std::function<void(TMP4&)>;

    static constexpr int ActivityIdle = TBase::KindNone;
    static constexpr int ActivityEncoding = 10;

    bool VerifyOnly = false;
    bool Failed = false;
    // The one abort state of a run: the sources and the console runs read it at every poll.
    TAbortState Abort;
    bool NameAsTitle = false;
    // The 8-bit code page of tags and sheets; 0 for the system's.
    int CodePage = 0;
    bool SameSampleRate = false;
    // The accepted sources of the last Convert share one channel count.
    bool SameChannelCount = false;
    // The last encoder run wrote no usable MP4 (as opposed to an abort or mixed rates).
    bool EncodeFailed = false;
    // Of the step running; with separate files, of the whole run.
    int Percent = 0;
    // ActivityIdle, the Kind of the source it decodes, or ActivityEncoding. With separate files
    // a decode beside encodes is what it says.
    int Activity = ActivityIdle;
    int SampleRate = 0;
    int TotalSeconds = 0;
    std::string EncoderCommand;
    std::string CurrentTarget;
    std::string CurrentSource;
    std::string OutputExt;
    std::string EncoderOption;
    std::string OutputFile;
    std::string OutputDir;
    std::string TaggerCommand;
    TCons Cons;
    // The terminal every tool of this job runs in; none: the process's own. Jobs that run side
    // by side each need their own.
    platform::TConsole* Console = nullptr;
    // Each output is written under a hidden stand-in name in its folder and takes its name only
    // once it is complete, so a run stopped halfway leaves nothing a later run could take for
    // done. It never takes a name that exists by then: it takes the next free number instead,
    // or with KeepWantedName fails.
    bool StageOutputs = false;
    bool KeepWantedName = false;
    // Separate files encoded at once, each lane's encoder given its share of the cores; the
    // window has one per core, a job running beside others one.
    unsigned Lanes = 1;
    // The names the outputs of the last DoConvert were given, in order.
    std::vector<std::string> Written;
    TEvent OnSourceDone, OnEncodeDone, OnTagProgress, OnProgress, OnStepStart, OnTagStart,
        OnTagDone;
    std::vector<TBase*> JobSources;
    std::vector<std::unique_ptr<TBase>> Sources;
    std::vector<TBase*> Accepted;
    std::vector<std::string> ErrorLines;
    // The tagger arguments of the source handled last.
    std::vector<std::string> MetaArgs;
    TOneName OneName;
    // Why the last run did nothing with the sources it had: mixed sample rates or channel
    // counts, or no room for its files. Empty when it was not refused.
    std::string Refusal;
    // The room of a folder, asked before anything is decoded; tests hand in small figures.
    std::function<std::optional<platform::TFolderRoom>(const std::string&)> FolderRoom =
        platform::FolderRoom;

    TMP4();
    TMP4(const TMP4&) = delete;
    TMP4& operator=(const TMP4&) = delete;
    ~TMP4();

    void SetOutputName(const std::string& name) { OutputFile = name; }
    void SetOutputDir(const std::string& dir) { OutputDir = dir; }
    void SetEncoderOption(const std::string& option) { EncoderOption = option; }

    // Whether the file is of a kind AddSrcFile takes (a sheet included), judged by its name.
    static bool IsSourceKind(const std::string& path);
    // Keeps a source for the file when its kind is known and the file is usable; a sheet, and a
    // FLAC or APE image with a usable sheet inside, give one source per track.
    bool AddSrcFile(const std::string& path);
    // One source per track of the sheet, or of the sheet inside a FLAC or APE image, in its
    // order; none, with SheetError, when the sheet cannot be used or an image it names is not
    // there, and with no SheetError for an image without a sheet inside.
    std::vector<TSheetTrack> AddCueSheet(const std::string& path);
    // The source of one track; false with SheetError when the sheet or the track is gone.
    bool AddCueTrack(const std::string& sheet, int number);
    // Why the sheet added last gave nothing, naming the sheet and its line.
    std::string SheetError;
    // What the sheet added last left out while its tracks were kept.
    std::vector<std::string> SheetWarnings;
    // Converts every kept source, into one file (combine) or one file each, next to the sources
    // or into OutputDir (toSelected); then drops all sources. False when nothing was converted.
    bool DoConvert(bool combine, bool toSelected);
    bool Convert();
    void DoTag();
    // Deletes the sources' temporary WAVs and empties Sources.
    void ClearAll();

    // More than one step runs at this moment: a decode beside an encode, or several encodes.
    bool Overlapping() const;

    void RelayProgress(TBase& source);
    void EncoderPoll(TCons& runner);
    void TaggerPoll(TCons& runner);

private:
    // The sheet read once a run; nothing with SheetError when it cannot be used.
    std::shared_ptr<const TCueSheet> LoadSheet(const std::string& path);
    // The decode every track of one image shares.
    std::shared_ptr<TCueImage> ImageOf(const std::string& path, const std::string& type);
    // What one output of separate files came to, and how far it is, as a part of its weight.
    struct TOutcome {
        bool Result = false;
        bool Failed = false;
        bool EncodeFailed = false;
        std::string Written;
        double Weight = 1;
        double DecodeShare = 0;
        double Done = 0;
    };

    // Makes the wanted path unique as OutputFile, or stages it, and converts into it.
    bool ConvertInto(const std::string& wanted);
    // After the output's steps: names a staged OutputFile, or keeps the name it was written
    // under, in Written; the result, false when the steps failed or it could not be named.
    bool EndOutput(const std::string& wanted, bool result);
    // Decodes one source with the events around it; false after an abort.
    bool DecodeSource(TBase& source, bool findCover);
    // The samples every source of one file holds in all, when each header tells them and the
    // encoder can begin beside the decodes; nothing otherwise.
    std::optional<std::uint64_t> ExpectedFrames() const;
    // Lists the decoded source for the encoder awaiting it, starting that with the first; false
    // when the source cannot join the encode begun.
    bool ListAwaited(std::size_t index, const std::string& list, std::uint64_t expected);
    static std::string EncoderLine(const std::vector<TBase*>& sources, const std::string& option);
    static std::string TaggerLine(const std::vector<TBase*>& sources, const std::string& output);
    // One file per source: each decodes in turn and goes to the next free lane.
    bool ConvertSeparately(bool toSelected);
    // Each output's share of the run: its seconds, from its header where it tells them.
    void Weigh();
    // Follows the running lanes until one is free; none after an abort.
    TEncodeLane* FreeLane();
    // Follows the lanes until all are idle.
    void Drain();
    // Gives every running lane its share of sliceMs and takes each step that ended further.
    void FollowLanes(int sliceMs);
    void StartEncode(TEncodeLane& lane, std::size_t index, const std::string& wanted);
    // The lane's encode failed for the reason in lines: its WAV goes and the lane is free.
    void FailEncode(TEncodeLane& lane, std::vector<std::string> lines);
    // After the lane's tool ended: tags an encoded file, names a tagged one, or cleans up.
    void Advance(TEncodeLane& lane);
    // The names of outputs still being written.
    std::set<std::string> HeldNames() const;
    // Raises the event as from the lane's output.
    void ReportLane(TEncodeLane& lane, const TEvent& event);
    void ReportRunProgress();
    // Gives the staged OutputFile the wanted name, or the next free one; false, with the stand-in
    // removed and ErrorLines telling why, when it cannot.
    bool NameStaged(const std::string& wanted);
    // The refusal when the temporary WAVs or the MP4 files of this run cannot fit where they
    // go; empty when they can or when the room cannot be told.
    std::string RoomRefusal(bool combine, bool toSelected) const;
    void Raise(const TEvent& event);

    std::map<std::string, std::shared_ptr<const TCueSheet>> Sheets;
    std::map<std::string, std::shared_ptr<TCueImage>> Images;
    std::vector<std::unique_ptr<TEncodeLane>> Pool;
    std::vector<TOutcome> Outcomes;
    // A source decodes beside the lanes.
    bool Decoding = false;
    // The encoder's command line when it began beside the decodes.
    std::string BesideCommand;
};
