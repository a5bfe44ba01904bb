#include "job/Mp4.h"

#include "pipeline/CueSheet.h"
#include "pipeline/PathParts.h"
#include "pipeline/Wav.h"
#include "pipeline/Wavinfo.h"
#include "platform/AppFolder.h"
#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/CommandLine.h"
#include "platform/Cores.h"
#include "platform/Files.h"
#include "platform/TempFile.h"
#include "platform/ToolNames.h"
#include "sources/Ape.h"
#include "sources/AvAudio.h"
#include "sources/CueTrack.h"
#include "sources/Flac.h"
#include "sources/Mp3.h"
#include "sources/RawCd.h"
#include "tags/ApeTagReader.h"
#include "tags/FileSource.h"
#include "tags/FlacCueSheet.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>

namespace {

// The encoder's plan takes this many lines; only a line below it can carry the seconds done.
const std::size_t EncoderPlanLines = 5;
// How long the job waits on its running tools between looks at the window.
const int PollSliceMs = 150;
// The part of a decoded source's work its decode is counted as in a run's progress.
const double DecodeShare = 0.15;

// The kind is the extension's for the first four; a WAV that holds neither PCM nor float
// (A-law, ADPCM, ...) and every other file go to the libraries that read them by content.
std::unique_ptr<TBase> NewSource(const std::string& path) {
    const std::string extension = pipeline::LowerExtension(path);
    if (extension == ".wav") {
        TWavInfo info;
        // Read only from a file: a FIFO would hold the read until someone writes to it.
        if (platform::FileExists(path))
            info.ReadHeader(path);
        const unsigned tag = info.Format().Tag;
        if (info.Valid && tag != 0 && tag != 1 && tag != 3)
            return std::make_unique<TAvAudio>();
        return std::make_unique<TWav>();
    }
    if (extension == ".ape")
        return std::make_unique<TApe>();
    if (extension == ".flac")
        return std::make_unique<TFlac>();
    if (extension == ".mp3")
        return std::make_unique<TMp3>();
    return std::make_unique<TAvAudio>();
}

// The sheet a FLAC, APE or WavPack image carries; empty when it carries none.
std::string EmbeddedSheet(const std::string& path) {
    const std::string extension = pipeline::LowerExtension(path);
    TFileSource file;
    if ((extension != ".flac" && extension != ".ape" && extension != ".wv") || !file.Open(path))
        return {};
    if (extension == ".flac")
        return TFlacCueSheet::Read(file, pipeline::FileNamePart(path), TCueSheet::MaxBytes);
    return TApeTagReader().ReadCueSheet(file, TCueSheet::MaxBytes);
}

// Blanks and commas separate; double quotes group.
std::vector<std::string> ScreenTokens(const std::string& line) {
    std::vector<std::string> tokens;
    std::string token;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ' ' || c == ',')) {
            if (!token.empty())
                tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    if (!token.empty())
        tokens.push_back(token);
    return tokens;
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The seconds the encoder's screen says it has done; nothing before its plan is through.
std::optional<double> EncoderSecondsDone(const std::vector<std::string>& lines) {
    if (lines.size() <= EncoderPlanLines)
        return std::nullopt;
    const std::vector<std::string> tokens = ScreenTokens(lines.back());
    if (tokens.size() < 2 || !AllDigits(tokens[1]))
        return std::nullopt;
    // In floating point, so that no run of digits can overflow.
    double seconds = 0;
    for (char c : tokens[1])
        seconds = seconds * 10 + (c - '0');
    return seconds;
}

// Every MP4 the encoder writes opens with its file-type box and gets its index (the moov box)
// when it is finished, so a file cut short by a dying encoder has none.
bool LooksLikeMp4(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    for (bool first = true;; first = false) {
        std::uint8_t head[16];
        if (!in.read(reinterpret_cast<char*>(head), 8))
            return false;
        const std::string type(reinterpret_cast<const char*>(head) + 4, 4);
        if (type == "moov")
            return !first;
        if (first && type != "ftyp")
            return false;
        std::uint64_t size = platform::BigEndian(head, 4);
        std::uint64_t headSize = 8;
        if (size == 1) {
            if (!in.read(reinterpret_cast<char*>(head) + 8, 8))
                return false;
            size = platform::BigEndian(head + 8, 8);
            headSize = 16;
        }
        // A size of 0 runs to the end of the file: nothing can follow.
        if (size < headSize || size - headSize > std::uint64_t{1} << 62)
            return false;
        in.seekg(static_cast<std::streamoff>(size - headSize), std::ios::cur);
    }
}

// A tool that ended without a word still leaves the user a line to go by; one that said what
// went wrong has that line first, ahead of its banner.
std::vector<std::string> WithReason(std::vector<std::string> lines, const std::string& reason) {
    const bool said = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find_first_not_of(' ') != std::string::npos;
    });
    if (!said)
        return {reason};
    // The last such line: the banner's paths above it may hold the word too.
    const auto error = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& line) {
        return platform::AsciiLower(line).find("error") != std::string::npos;
    });
    if (error != lines.rend())
        std::rotate(lines.begin(), std::prev(error.base()), error.base());
    return lines;
}

// The bits per second the encoder option asks for: -cbr and -br give them, -q maps onto an
// average bitrate as the encoder does (stereo 128 kbps at 0.37, 320 at 0.75, by channel count).
double EncoderBitrate(const std::string& option, unsigned channels) {
    std::istringstream words(option);
    std::string word;
    double quality = 0.5;
    while (words >> word) {
        std::string value;
        if ((word == "-cbr" || word == "-br") && words >> value)
            return std::atof(value.c_str());
        if (word == "-q" && words >> value)
            quality = std::atof(value.c_str());
    }
    const double stereo = 128000 + (quality - 0.37) * (320000 - 128000) / (0.75 - 0.37);
    return std::max(stereo, 16000.0) * std::max(channels, 1u) / 2;
}

// What an MP4 of this audio takes: the bitrate's share and a little for its index and tags.
std::uint64_t Mp4Bytes(const TPcmSize& size, const std::string& option) {
    const double seconds = static_cast<double>(size.Frames) / std::max(size.SampleRate, 1u);
    return static_cast<std::uint64_t>(seconds * EncoderBitrate(option, size.Channels) / 8 * 1.02) +
           (std::uint64_t{64} << 10);
}

// What the count largest of sizes take together.
std::uint64_t LargestSum(std::vector<std::uint64_t> sizes, std::size_t count) {
    count = std::min(count, sizes.size());
    std::partial_sort(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(count),
                      sizes.end(), std::greater<>());
    return std::accumulate(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(count),
                           std::uint64_t{0});
}

std::string SizeText(std::uint64_t bytes) {
    static constexpr const char* Units[] = {"bytes", "kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1000 && unit + 1 < std::size(Units)) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, Units[unit]);
    return text;
}

// A hidden name beside the wanted one that no file has yet; the extension stays, as the encoder
// chooses its container by it.
std::string StandInName(const std::string& wanted) {
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof Letters - 2);
    for (;;) {
        std::string tag;
        for (int k = 0; k < 6; ++k)
            tag += Letters[pick(random)];
        const std::string name = pipeline::FolderPart(wanted) + "." +
                                 pipeline::StripExtension(pipeline::FileNamePart(wanted)) +
                                 ".partial-" + tag + pipeline::ExtensionPart(wanted);
        if (!platform::FileExists(name))
            return name;
    }
}

// One cover serves a file: the first source in cue order that has one.
bool HasCover(const TBase* source) {
    return !source->Cover.Path().empty();
}

} // namespace

// The tagger stops on an abort too: one that hangs would otherwise hold the window busy for good.
TMP4::TMP4() {
    Cons.Abort = &Abort;
}

TMP4::~TMP4() {
    ClearAll();
}

void TMP4::Raise(const TEvent& event) {
    if (event)
        event(*this);
}

bool TMP4::IsSourceKind(const std::string& path) {
    const std::string extension = pipeline::LowerExtension(path);
    return extension == ".cue" || extension == ".wav" || extension == ".ape" ||
           extension == ".flac" || extension == ".mp3" || TAvAudio::KnownExtension(path);
}

bool TMP4::AddSrcFile(const std::string& path) {
    if (pipeline::LowerExtension(path) == ".cue")
        return !AddCueSheet(path).empty();
    // An image that carries a usable sheet stands for its tracks.
    if (!AddCueSheet(path).empty())
        return true;
    std::unique_ptr<TBase> source = NewSource(path);
    if (!source)
        return false;
    source->SetSrcFile(path);
    source->NameAsTitle = NameAsTitle;
    source->CodePage = CodePage;
    if (!source->SrcFileOk())
        return false;
    Sources.push_back(std::move(source));
    return true;
}

std::shared_ptr<const TCueSheet> TMP4::LoadSheet(const std::string& path) {
    if (const auto known = Sheets.find(path); known != Sheets.end())
        return known->second;
    auto sheet = std::make_shared<TCueSheet>();
    // Any other path is an image, and the sheet inside it tells of it alone.
    const bool embedded = pipeline::LowerExtension(path) != ".cue";
    const std::string inside = embedded ? EmbeddedSheet(path) : std::string();
    if (embedded && inside.empty())
        return nullptr;
    if (!(embedded ? sheet->Parse(inside, path, CodePage) : sheet->Load(path, CodePage))) {
        SheetError = sheet->Error();
        return nullptr;
    }
    if (embedded && sheet->Files.size() != 1) {
        SheetError = path + ": the sheet inside names " + std::to_string(sheet->Files.size()) +
                     " files; only one of one file can stand for this image";
        return nullptr;
    }
    SheetWarnings = sheet->Warnings;
    // Every image is looked for before any track is kept: a sheet runs whole or not at all.
    for (std::size_t file = 0; file < sheet->Files.size(); ++file) {
        const std::string image = embedded ? path : sheet->FindImage(path, file);
        const bool used = std::any_of(sheet->Tracks.begin(), sheet->Tracks.end(),
                                      [&](const TCueSheet::TTrack& t) { return t.File == file; });
        if (image.empty() && used) {
            SheetError = path + ", line " + std::to_string(sheet->Files[file].Line) +
                         ": the image " + sheet->Files[file].Name +
                         " is not there beside the sheet; nothing of the sheet is converted";
            return nullptr;
        }
        if (used && !ImageOf(image, sheet->Files[file].Type)) {
            SheetError = path + ", line " + std::to_string(sheet->Files[file].Line) +
                         ": the image " + image + " is no file this program decodes";
            return nullptr;
        }
    }
    Sheets[path] = sheet;
    return sheet;
}

std::shared_ptr<TCueImage> TMP4::ImageOf(const std::string& path, const std::string& type) {
    if (const auto known = Images.find(path); known != Images.end())
        return known->second;
    auto image = std::make_shared<TCueImage>();
    // Only the sheet tells a raw CD image, by its type; a file of a kind known by its name is
    // that kind whatever the sheet says. Raw samples have no header to probe, so the name decides.
    const std::string raw = platform::AsciiLower(type);
    if (!IsSourceKind(path) && (raw == "binary" || raw == "motorola"))
        image->Source = std::make_unique<TRawCd>(raw == "motorola");
    else
        image->Source = NewSource(path);
    if (!image->Source)
        return nullptr;
    image->Source->SetSrcFile(path);
    image->Source->CodePage = CodePage;
    if (!image->Source->SrcFileOk())
        return nullptr;
    Images[path] = image;
    return image;
}

bool TMP4::AddCueTrack(const std::string& sheetPath, int number) {
    SheetError.clear();
    const std::shared_ptr<const TCueSheet> sheet = LoadSheet(sheetPath);
    if (!sheet)
        return false;
    const auto track = std::find_if(sheet->Tracks.begin(), sheet->Tracks.end(),
                                    [&](const TCueSheet::TTrack& t) { return t.Number == number; });
    if (track == sheet->Tracks.end()) {
        SheetError = sheetPath + ": holds no track " + std::to_string(number) + " any more";
        return false;
    }
    const bool embedded = pipeline::LowerExtension(sheetPath) != ".cue";
    const std::shared_ptr<TCueImage> image =
        ImageOf(embedded ? sheetPath : sheet->FindImage(sheetPath, track->File),
                sheet->Files[track->File].Type);
    if (!image) {
        SheetError =
            sheetPath + ": the image of track " + std::to_string(number) + " is not there any more";
        return false;
    }
    auto source = std::make_unique<TCueTrack>(
        sheet, sheetPath, static_cast<std::size_t>(track - sheet->Tracks.begin()), image);
    source->SetSrcFile(image->Source->SrcFile);
    source->NameAsTitle = NameAsTitle;
    if (!source->SrcFileOk())
        return false;
    Sources.push_back(std::move(source));
    return true;
}

std::vector<TMP4::TSheetTrack> TMP4::AddCueSheet(const std::string& path) {
    SheetError.clear();
    SheetWarnings.clear();
    const std::shared_ptr<const TCueSheet> sheet = LoadSheet(path);
    if (!sheet)
        return {};
    const std::size_t before = Sources.size();
    std::vector<TSheetTrack> tracks;
    for (const TCueSheet::TTrack& track : sheet->Tracks) {
        if (!AddCueTrack(path, track.Number)) {
            while (Sources.size() > before) {
                Sources.back()->DeleteWav();
                Sources.pop_back();
            }
            return {};
        }
        tracks.push_back({path, track.Number, track.Title, Sources.back()->SrcFile});
    }
    return tracks;
}

bool TMP4::DoConvert(bool combine, bool toSelected) {
    // Also when a handler throws: no temporary WAV outlives the run.
    struct TClearAtEnd {
        TMP4& Job;
        ~TClearAtEnd() { Job.ClearAll(); }
    } clearAtEnd{*this};

    // A false result with nothing converted must not read as mixed rates or a failed step.
    SameSampleRate = true;
    SameChannelCount = true;
    EncodeFailed = false;
    Failed = false;
    Refusal.clear();
    Written.clear();
    if (Sources.empty())
        return false;
    if (toSelected)
        OutputDir = pipeline::FolderPart(OutputDir);
    else if (combine)
        OutputDir = pipeline::FolderPart(Sources.front()->SrcFile);
    Refusal = RoomRefusal(combine, toSelected);
    if (!Refusal.empty())
        return false;
    bool result = false;
    if (combine) {
        for (const auto& source : Sources)
            JobSources.push_back(source.get());
        result = ConvertInto(
            OutputDir + pipeline::StripExtension(pipeline::FileNamePart(OutputFile)) + OutputExt);
        JobSources.clear();
        return result;
    }
    return ConvertSeparately(toSelected);
}

std::string TMP4::RoomRefusal(bool combine, bool toSelected) const {
    struct TNeed {
        std::uint64_t Bytes = 0;
        // The tagger writes its copy of a file beside it before the rename.
        std::vector<std::uint64_t> Sizes;
    };
    const std::string tempFolder = platform::TempFolder();
    std::vector<std::uint64_t> temps;
    std::map<std::string, TNeed> outputs;
    // Tracks of one image share its one decode.
    std::set<const TBase*> decodes;
    for (const auto& source : Sources) {
        const std::optional<TPcmSize> size = source->PcmSize();
        // A WAV is read where it lies; the tracks of one image share its one decode.
        TBase& image = source->Image();
        if (image.Kind != TBase::KindWav && decodes.insert(&image).second) {
            const std::optional<TPcmSize> whole = &image == source.get() ? size : image.PcmSize();
            const std::uint64_t temp = whole ? whole->Bytes() + TWavInfo::HeaderSize() : 0;
            temps.push_back(temp);
        }
        if (!size || VerifyOnly)
            continue;
        const std::uint64_t bytes = Mp4Bytes(*size, EncoderOption);
        TNeed& need =
            outputs[combine || toSelected ? OutputDir : pipeline::FolderPart(source->SrcFile)];
        need.Bytes += bytes;
        need.Sizes.push_back(bytes);
    }
    // Separate files: each encode holds its WAV until its file is tagged, and the next source
    // decodes meanwhile; the tagger's copies of the files being tagged at once sit beside them.
    const std::size_t lanes = std::max(Lanes, 1u);
    const std::uint64_t tempBytes =
        combine ? LargestSum(temps, temps.size()) : LargestSum(temps, lanes + 1);
    // Folders of one file system share its room: the need is their sum, the room the least told.
    struct TVolume {
        std::uint64_t Needed = 0;
        std::uint64_t Free = UINT64_MAX;
        std::string Folder;
    };
    std::map<std::uint64_t, TVolume> volumes;
    const auto add = [&](const std::string& folder, std::uint64_t bytes) {
        const std::optional<platform::TFolderRoom> room = FolderRoom(folder.empty() ? "." : folder);
        if (!room || bytes == 0)
            return;
        TVolume& volume = volumes[room->Volume];
        volume.Needed += bytes;
        if (room->Free < volume.Free) {
            volume.Free = room->Free;
            volume.Folder = folder;
        }
    };
    // Without a temporary folder no decode can start, and each source says so.
    if (!tempFolder.empty())
        add(tempFolder, tempBytes);
    for (const auto& [folder, need] : outputs)
        add(folder, need.Bytes + (combine ? need.Bytes : LargestSum(need.Sizes, lanes)));
    for (const auto& [id, volume] : volumes) {
        if (volume.Needed <= volume.Free)
            continue;
        const std::string where = volume.Folder == tempFolder
                                      ? "the temporary folder " + volume.Folder
                                      : "the output folder " + volume.Folder;
        return "There is not enough free space in " + where + ": this run needs " +
               SizeText(volume.Needed) + " there and " + SizeText(volume.Free) +
               " are free. Nothing was converted.";
    }
    return {};
}

bool TMP4::ConvertInto(const std::string& wanted) {
    OneName.Path = wanted;
    OutputFile = StageOutputs ? StandInName(wanted) : OneName.UniqueName();
    const bool result = Convert();
    return EndOutput(wanted, result);
}

bool TMP4::EndOutput(const std::string& wanted, bool result) {
    if (StageOutputs && platform::FileExists(OutputFile)) {
        if (!result) {
            platform::DeleteFile(OutputFile);
            return false;
        }
        return NameStaged(wanted);
    }
    if (result && platform::FileExists(OutputFile))
        Written.push_back(OutputFile);
    return result;
}

bool TMP4::NameStaged(const std::string& wanted) {
    const std::string staged = OutputFile;
    const TOneName family{wanted};
    for (;;) {
        const std::string name = KeepWantedName ? wanted : family.UniqueName(HeldNames());
        const int error = platform::MoveNoReplace(staged, name);
        if (error == 0) {
            OutputFile = name;
            Written.push_back(name);
            return true;
        }
        // Another writer took the free name first: the next one is free again.
        if (error == EEXIST && !KeepWantedName)
            continue;
        platform::DeleteFile(staged);
        ErrorLines = {error == EEXIST
                          ? name + " appeared while it was written; it was left as it is"
                          : "Cannot name " + name + ": " + std::strerror(error)};
        Failed = true;
        return false;
    }
}

bool TMP4::Convert() {
    TotalSeconds = 0;
    SameSampleRate = true;
    Refusal.clear();
    EncodeFailed = false;
    Accepted.clear();
    Cons.Console = Console;

    // With a core to spare, the encoder begins on the first sources while the others decode: it
    // reads each WAV once the list names it, and any source that could not join it stops it.
    // The lane is there while that encoder runs.
    platform::TTempFile awaited;
    const std::optional<std::uint64_t> expected = ExpectedFrames();
    bool beside = expected && awaited.Create();
    const auto follow = [this] {
        if (!Pool.empty() && !Pool.front()->Cons.Finished)
            Pool.front()->Follow(0);
    };
    for (std::size_t k = 0; k < JobSources.size(); ++k) {
        TBase* source = JobSources[k];
        source->OnProgress = [this](TBase& s) { RelayProgress(s); };
        Percent = 0;
        source->SetBeside(follow);
        source->Image().SetBeside(follow);
        Decoding = !Pool.empty();
        // Sources after the one that gave the file its cover need not look for theirs.
        const bool decoded =
            DecodeSource(*source, std::none_of(JobSources.begin(), JobSources.end(), HasCover));
        Decoding = false;
        source->SetBeside(nullptr);
        source->Image().SetBeside(nullptr);
        if (!decoded)
            return false;
        if (beside && !ListAwaited(k, awaited.Path(), *expected)) {
            beside = false;
            Pool.clear();
        }
    }

    int referenceRate = 0;
    int referenceChannels = 0;
    SameChannelCount = true;
    for (TBase* source : JobSources) {
        // A WAV source cut short fails its decode and is left out like any other.
        if (source->Failed || !source->WavFileOk())
            continue;
        if (Accepted.empty()) {
            referenceRate = source->SampleRate;
            referenceChannels = source->Channels;
        }
        SampleRate = source->SampleRate;
        if (SampleRate != referenceRate && SameSampleRate) {
            SameSampleRate = false;
            Refusal = "The sources have different sample rates (" + std::to_string(referenceRate) +
                      " Hz and " + std::to_string(SampleRate) +
                      " Hz); one file cannot hold them. Nothing was encoded.";
        }
        if (source->Channels != referenceChannels && SameSampleRate && SameChannelCount) {
            SameChannelCount = false;
            Refusal = "The sources have different channel counts (" +
                      std::to_string(referenceChannels) + " and " +
                      std::to_string(source->Channels) +
                      "); one file cannot hold them. Nothing was encoded.";
        }
        Accepted.push_back(source);
    }
    if (!SameSampleRate || !SameChannelCount) {
        Accepted.clear();
        return false;
    }

    const std::string encoder = platform::AppFolder() + platform::EncoderTool;
    EncoderCommand = EncoderLine(Accepted, EncoderOption);

    // Sources that all failed to decode leave nothing to encode, and that is no success.
    bool result = VerifyOnly || !Accepted.empty() ||
                  std::none_of(JobSources.begin(), JobSources.end(),
                               [](const TBase* source) { return source->Failed; });
    if (!Accepted.empty() && !VerifyOnly) {
        Activity = ActivityEncoding;
        CurrentTarget = OutputFile;
        Raise(OnStepStart);
        bool started = true;
        std::vector<std::string> screen;
        if (!Pool.empty()) {
            TEncodeLane& lane = *Pool.front();
            EncoderCommand = BesideCommand;
            lane.Cons.OnPoll = [this](TCons& runner) { EncoderPoll(runner); };
            while (!lane.Cons.Finished)
                lane.Follow(PollSliceMs);
            screen = lane.Cons.ScreenLines;
            // Its output is this run's to keep or remove from here on.
            lane.Release();
            Pool.clear();
        } else {
            EncoderCommand += " -of " + platform::QuoteText(OutputFile);
            Cons.OnPoll = [this](TCons& runner) { EncoderPoll(runner); };
            started = Cons.Run("encoding to MP4...", EncoderCommand, "0", false);
            screen = Cons.ScreenLines;
        }
        if (Abort.Requested()) {
            if (platform::FileExists(OutputFile))
                platform::DeleteFile(OutputFile);
            Accepted.clear();
            return false;
        }
        if (!started) {
            ErrorLines = {"The encoder " + encoder + " could not be started."};
            EncodeFailed = true;
        } else if (!LooksLikeMp4(OutputFile)) {
            // Whatever the encoder left is no MP4 and must not stay under the output's name.
            if (platform::FileExists(OutputFile))
                platform::DeleteFile(OutputFile);
            ErrorLines = WithReason(screen, "The encoder ended without writing " + OutputFile);
            EncodeFailed = true;
        }
        if (EncodeFailed) {
            Failed = true;
            result = false;
            Raise(OnEncodeDone);
        } else {
            Raise(OnEncodeDone);
            DoTag();
            if (Abort.Requested())
                result = false;
        }
    }
    Accepted.clear();
    Activity = ActivityIdle;
    return result;
}

bool TMP4::DecodeSource(TBase& source, bool findCover) {
    ErrorLines.clear();
    source.SetAbort(Abort);
    source.Image().SetAbort(Abort);
    source.SetConsole(Console);
    source.Image().SetConsole(Console);
    source.CollectTags();
    MetaArgs = source.MetaArgs;
    Activity = source.Kind;
    CurrentSource = source.SrcFile;
    Raise(OnStepStart);
    source.Decode();
    if (Abort.Requested()) {
        if (platform::FileExists(source.WavFile))
            source.DeleteWav();
        return false;
    }
    if (!VerifyOnly && findCover)
        source.FindCover();
    CurrentTarget = source.WavFile;
    const int seconds = source.WavLength();
    if (seconds > 0)
        TotalSeconds += seconds;
    Failed = source.Failed;
    if (Failed)
        ErrorLines =
            WithReason(source.ErrorLines, "No audio could be decoded from " + source.SrcFile);
    Raise(OnSourceDone);
    return true;
}

std::optional<std::uint64_t> TMP4::ExpectedFrames() const {
    // WAVs are read where they lie and an image's tracks share its one decode: with nothing to
    // decode after the first source there is nothing to overlap, and the encoder would lose
    // its look at the costs for nothing.
    if (VerifyOnly || Lanes < 2 || JobSources.size() < 2 ||
        std::none_of(JobSources.begin() + 1, JobSources.end(), [this](TBase* source) {
            return source->Image().Kind != TBase::KindWav &&
                   &source->Image() != &JobSources.front()->Image();
        }))
        return std::nullopt;
    std::uint64_t frames = 0;
    for (TBase* source : JobSources) {
        const std::optional<TPcmSize> size = source->PcmSize();
        if (!size || size->Frames == 0)
            return std::nullopt;
        frames += size->Frames;
    }
    return frames;
}

bool TMP4::ListAwaited(std::size_t index, const std::string& list, std::uint64_t expected) {
    TBase& source = *JobSources[index];
    const TBase& first = *JobSources.front();
    // A source left out or refused after the decodes needs the encode over without it.
    if (source.Failed || !source.WavFileOk() || source.SampleRate != first.SampleRate ||
        source.Channels != first.Channels || source.WavFile.find('\n') != std::string::npos)
        return false;
    {
        std::ofstream out(list, std::ios::binary | std::ios::app);
        out << source.InputRange() << '\t' << source.WavFile << '\n';
        if (!out.flush())
            return false;
    }
    if (index > 0)
        return true;
    Pool.push_back(std::make_unique<TEncodeLane>(Abort));
    TEncodeLane& lane = *Pool.front();
    lane.OutputFile = OutputFile;
    BesideCommand = EncoderLine({}, EncoderOption) + " -await " + platform::QuoteText(list) +
                    " -expect " + std::to_string(JobSources.size()) + ":" +
                    std::to_string(expected) + " -of " + platform::QuoteText(OutputFile);
    return lane.Start(TEncodeLane::TStep::Encoding, BesideCommand);
}

std::string TMP4::EncoderLine(const std::vector<TBase*>& sources, const std::string& option) {
    std::string line =
        platform::QuoteText(platform::AppFolder() + platform::EncoderTool) + " " + option;
    for (const TBase* source : sources) {
        if (!source->InputRange().empty())
            line.append(" -range ").append(source->InputRange());
        line.append(" -if ").append(platform::QuoteText(source->WavFile));
    }
    return line;
}

std::string TMP4::TaggerLine(const std::vector<TBase*>& sources, const std::string& output) {
    std::string line = platform::QuoteText(platform::AppFolder() + platform::TaggerTool) + " " +
                       platform::QuoteText(output);
    const auto covered = std::find_if(sources.begin(), sources.end(), HasCover);
    if (covered != sources.end())
        line.append(" ").append(
            platform::QuoteText("-add-cover:front:" + (*covered)->Cover.Path()));
    if (sources.size() > 1)
        for (const std::string& arg : sources.front()->FileMetaArgs())
            line += " " + arg;
    for (std::size_t k = 0; k < sources.size(); ++k) {
        line += " -chapter:" + std::to_string(k + 1);
        for (const std::string& arg : sources[k]->MetaArgs)
            line += " " + arg;
    }
    return line;
}

void TMP4::DoTag() {
    TaggerCommand = TaggerLine(Accepted, OutputFile);
    Cons.OnPoll = [this](TCons& runner) { TaggerPoll(runner); };
    Raise(OnTagStart);
    Cons.Run("tagging...", TaggerCommand, "0", false);
    // The tagger replaces the file only once it is done, so a stopped one leaves an untagged
    // MP4 of this run, which an aborted run does not keep.
    if (Abort.Requested() && platform::FileExists(OutputFile))
        platform::DeleteFile(OutputFile);
    Raise(OnTagDone);
}

bool TMP4::ConvertSeparately(bool toSelected) {
    TotalSeconds = 0;
    Outcomes.assign(Sources.size(), {});
    Weigh();
    const unsigned lanes = static_cast<unsigned>(
        std::min<std::size_t>(std::max(Lanes, 1u), VerifyOnly ? 0 : Sources.size()));
    for (unsigned k = 0; k < lanes; ++k)
        Pool.push_back(std::make_unique<TEncodeLane>(Abort));
    Percent = 0;
    for (std::size_t index = 0; index < Sources.size() && !Abort.Requested(); ++index) {
        TBase& source = *Sources[index];
        TOutcome& outcome = Outcomes[index];
        const auto follow = [this] { FollowLanes(0); };
        source.SetBeside(follow);
        source.Image().SetBeside(follow);
        source.OnProgress = [this, &outcome](TBase& s) {
            outcome.Done = outcome.DecodeShare * s.Percent / 100;
            ReportRunProgress();
        };
        Decoding = true;
        const bool decoded = DecodeSource(source, !HasCover(&source));
        Decoding = false;
        source.SetBeside(nullptr);
        source.Image().SetBeside(nullptr);
        source.OnProgress = nullptr;
        if (!decoded)
            break;
        outcome.Done = outcome.DecodeShare;
        outcome.Failed = Failed;
        outcome.Result = VerifyOnly || !Failed;
        // A WAV source cut short fails its decode and is left out like any other.
        if (VerifyOnly || Failed || !source.WavFileOk()) {
            outcome.Done = 1;
            source.DeleteWav();
            ReportRunProgress();
            continue;
        }
        TEncodeLane* lane = FreeLane();
        if (!lane)
            break;
        StartEncode(*lane, index,
                    (toSelected ? OutputDir : pipeline::FolderPart(source.SrcFile)) +
                        source.OutputStem() + OutputExt);
    }
    Drain();
    Pool.clear();
    Activity = ActivityIdle;
    // In the sources' order, whichever was done first.
    for (const TOutcome& outcome : Outcomes)
        if (!outcome.Written.empty())
            Written.push_back(outcome.Written);
    if (Abort.Requested())
        return false;
    // What the run says as a whole is what its last source came to, as one file after another
    // would leave it.
    const TOutcome& last = Outcomes.back();
    Failed = last.Failed;
    EncodeFailed = last.EncodeFailed;
    return last.Result;
}

void TMP4::Weigh() {
    double known = 0;
    std::size_t counted = 0;
    for (std::size_t k = 0; k < Sources.size(); ++k) {
        TOutcome& outcome = Outcomes[k];
        const std::optional<TPcmSize> size = Sources[k]->PcmSize();
        if (size && size->SampleRate > 0 && size->Frames > 0) {
            outcome.Weight = static_cast<double>(size->Frames) / size->SampleRate;
            known += outcome.Weight;
            ++counted;
        }
        // A WAV is read where it lies; the decode of an image's first track is its tracks'.
        outcome.DecodeShare = Sources[k]->Image().Kind == TBase::KindWav ? 0 : DecodeShare;
    }
    // A source whose header does not tell its length counts as an average one.
    for (std::size_t k = 0; k < Sources.size(); ++k)
        if (!(Sources[k]->PcmSize() && Outcomes[k].Weight > 0))
            Outcomes[k].Weight = counted > 0 ? known / static_cast<double>(counted) : 1;
}

TEncodeLane* TMP4::FreeLane() {
    for (;;) {
        if (Abort.Requested())
            return nullptr;
        for (const auto& lane : Pool)
            if (lane->Step == TEncodeLane::TStep::Idle)
                return lane.get();
        FollowLanes(PollSliceMs);
    }
}

void TMP4::Drain() {
    while (std::any_of(Pool.begin(), Pool.end(),
                       [](const auto& lane) { return lane->Step != TEncodeLane::TStep::Idle; })) {
        FollowLanes(PollSliceMs);
    }
}

void TMP4::FollowLanes(int sliceMs) {
    const auto busy = std::count_if(Pool.begin(), Pool.end(), [](const auto& lane) {
        return lane->Step != TEncodeLane::TStep::Idle;
    });
    for (const auto& lane : Pool)
        if (lane->Step != TEncodeLane::TStep::Idle &&
            lane->Follow(static_cast<int>(sliceMs / std::max<std::ptrdiff_t>(busy, 1))))
            Advance(*lane);
}

void TMP4::StartEncode(TEncodeLane& lane, std::size_t index, const std::string& wanted) {
    TBase& source = *Sources[index];
    TOutcome& outcome = Outcomes[index];
    lane.Source = &source;
    lane.Index = index;
    lane.Wanted = wanted;
    lane.OutputFile = StageOutputs ? StandInName(wanted) : TOneName{wanted}.UniqueName(HeldNames());
    std::string option = EncoderOption;
    if (Pool.size() > 1) {
        // Outputs side by side already fill the cores; an encoder that splits its input across
        // them as well only pays the pre-roll of its segments. Near the end fewer run, and each
        // takes a larger share.
        const std::size_t running =
            static_cast<std::size_t>(std::count_if(Pool.begin(), Pool.end(), [](const auto& other) {
                return other->Step != TEncodeLane::TStep::Idle;
            }));
        const std::size_t busy = std::min(Pool.size(), running + (Sources.size() - index));
        option +=
            " -threads " +
            std::to_string(std::max(1u, platform::UsableCores() / static_cast<unsigned>(busy)));
    }
    EncoderCommand =
        EncoderLine({&source}, option) + " -of " + platform::QuoteText(lane.OutputFile);
    const int seconds = source.WavLength();
    lane.Cons.OnPoll = [this, &outcome, seconds](TCons& runner) {
        const std::optional<double> done = EncoderSecondsDone(runner.ScreenLines);
        // Short of the whole: the tagging is still to come.
        if (done && seconds > 0)
            outcome.Done = outcome.DecodeShare +
                           (1 - outcome.DecodeShare) * std::min(*done / seconds, 1.0) * 0.98;
        ReportRunProgress();
    };
    if (!lane.Start(TEncodeLane::TStep::Encoding, EncoderCommand)) {
        FailEncode(lane, {"The encoder " + platform::AppFolder() + platform::EncoderTool +
                          " could not be started."});
        return;
    }
    ReportLane(lane, OnStepStart);
}

void TMP4::FailEncode(TEncodeLane& lane, std::vector<std::string> lines) {
    TOutcome& outcome = Outcomes[lane.Index];
    ErrorLines = std::move(lines);
    outcome.Result = false;
    outcome.Failed = outcome.EncodeFailed = true;
    outcome.Done = 1;
    ReportLane(lane, OnEncodeDone);
    lane.Source->DeleteWav();
    lane.Release();
    ReportRunProgress();
}

void TMP4::Advance(TEncodeLane& lane) {
    TBase& source = *lane.Source;
    TOutcome& outcome = Outcomes[lane.Index];
    if (Abort.Requested()) {
        if (platform::FileExists(lane.OutputFile))
            platform::DeleteFile(lane.OutputFile);
        source.DeleteWav();
        outcome.Result = false;
        lane.Release();
        return;
    }
    if (lane.Step == TEncodeLane::TStep::Encoding) {
        if (!LooksLikeMp4(lane.OutputFile)) {
            // Whatever the encoder left is no MP4 and must not stay under the output's name.
            if (platform::FileExists(lane.OutputFile))
                platform::DeleteFile(lane.OutputFile);
            FailEncode(lane, WithReason(lane.Cons.ScreenLines,
                                        "The encoder ended without writing " + lane.OutputFile));
            return;
        }
        ReportLane(lane, OnEncodeDone);
        TaggerCommand = TaggerLine({&source}, lane.OutputFile);
        lane.Cons.OnPoll = [this, &lane](TCons&) { ReportLane(lane, OnTagProgress); };
        ReportLane(lane, OnTagStart);
        if (lane.Start(TEncodeLane::TStep::Tagging, TaggerCommand))
            return;
    }
    ReportLane(lane, OnTagDone);
    // As one file after another: the job's output names are this output's while it is named.
    OutputFile = lane.OutputFile;
    const std::size_t before = Written.size();
    outcome.Result = EndOutput(lane.Wanted, true);
    if (Written.size() > before) {
        outcome.Written = Written.back();
        Written.pop_back();
    }
    outcome.Failed = !outcome.Result;
    outcome.Done = 1;
    // Its file is written: its WAV goes now, not at the end of the run.
    source.DeleteWav();
    lane.Release();
    ReportRunProgress();
}

std::set<std::string> TMP4::HeldNames() const {
    std::set<std::string> held;
    for (const auto& lane : Pool)
        if (lane->Step != TEncodeLane::TStep::Idle)
            held.insert(lane->OutputFile);
    return held;
}

void TMP4::ReportLane(TEncodeLane& lane, const TEvent& event) {
    const std::string source = CurrentSource;
    CurrentSource = lane.Source->SrcFile;
    OutputFile = lane.OutputFile;
    CurrentTarget = lane.OutputFile;
    MetaArgs = lane.Source->MetaArgs;
    const TOutcome& outcome = Outcomes[lane.Index];
    Failed = outcome.Failed;
    EncodeFailed = outcome.EncodeFailed;
    const int activity = Activity;
    Activity = ActivityEncoding;
    Raise(event);
    CurrentSource = source;
    Activity = activity;
}

void TMP4::ReportRunProgress() {
    double done = 0;
    double total = 0;
    for (const TOutcome& outcome : Outcomes) {
        done += outcome.Weight * outcome.Done;
        total += outcome.Weight;
    }
    Percent = total > 0 ? static_cast<int>(std::clamp(done * 100 / total, 0.0, 100.0)) : 0;
    // The output begun last stands for what is encoding.
    const TEncodeLane* newest = nullptr;
    for (const auto& lane : Pool)
        if (lane->Step != TEncodeLane::TStep::Idle && (!newest || lane->Index > newest->Index))
            newest = lane.get();
    // When nothing runs any more, the report is of the step that just ended.
    if (newest)
        OutputFile = newest->OutputFile;
    if (newest && !Decoding)
        Activity = ActivityEncoding;
    Raise(OnProgress);
}

bool TMP4::Overlapping() const {
    const auto busy = std::count_if(Pool.begin(), Pool.end(), [](const auto& lane) {
        return lane->Step != TEncodeLane::TStep::Idle;
    });
    return busy + (Decoding ? 1 : 0) > 1;
}

void TMP4::ClearAll() {
    // Lanes first: a tool still running may read a WAV about to go.
    Pool.clear();
    JobSources.clear();
    Accepted.clear();
    while (!Sources.empty()) {
        Sources.front()->DeleteWav();
        Sources.erase(Sources.begin());
    }
    Sheets.clear();
    Images.clear();
}

void TMP4::RelayProgress(TBase& source) {
    Percent = source.Percent;
    Raise(OnProgress);
}

void TMP4::EncoderPoll(TCons& runner) {
    const std::optional<double> seconds = EncoderSecondsDone(runner.ScreenLines);
    if (!seconds || TotalSeconds <= 0)
        return;
    const double percent = *seconds * 100 / TotalSeconds + 0.5;
    Percent = static_cast<int>(std::clamp(percent, 0.0, 100.0));
    Raise(OnProgress);
}

void TMP4::TaggerPoll(TCons& /*runner*/) {
    Raise(OnTagProgress);
}
