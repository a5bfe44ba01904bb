#include "job/Mp4.h"

#include "pipeline/PathParts.h"
#include "pipeline/Wav.h"
#include "platform/AppFolder.h"
#include "platform/ByteOrder.h"
#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/ToolNames.h"
#include "sources/Ape.h"
#include "sources/Flac.h"
#include "sources/Mp3.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace {

// The encoder's plan takes this many lines; only a line below it can carry the seconds done.
const std::size_t EncoderPlanLines = 5;

std::unique_ptr<TBase> NewSource(const std::string& path) {
    const std::string extension = pipeline::LowerExtension(path);
    if (extension == ".wav")
        return std::make_unique<TWav>();
    if (extension == ".ape")
        return std::make_unique<TApe>();
    if (extension == ".flac")
        return std::make_unique<TFlac>();
    if (extension == ".mp3")
        return std::make_unique<TMp3>();
    return nullptr;
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

// A tool that ended without a word still leaves the user a line to go by.
std::vector<std::string> WithReason(std::vector<std::string> lines, const std::string& reason) {
    const bool said = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find_first_not_of(' ') != std::string::npos;
    });
    if (!said)
        lines = {reason};
    return lines;
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

bool TMP4::AddSrcFile(const std::string& path) {
    std::unique_ptr<TBase> source = NewSource(path);
    if (!source)
        return false;
    source->SetSrcFile(path);
    source->NameAsTitle = NameAsTitle;
    if (!source->SrcFileOk())
        return false;
    Sources.push_back(std::move(source));
    return true;
}

bool TMP4::DoConvert(bool combine, bool toSelected) {
    // Also when a handler throws: no temporary WAV outlives the run.
    struct TClearAtEnd {
        TMP4& Job;
        ~TClearAtEnd() { Job.ClearAll(); }
    } clearAtEnd{*this};

    // A false result with nothing converted must not read as mixed rates or a failed step.
    SameSampleRate = true;
    EncodeFailed = false;
    Failed = false;
    if (Sources.empty())
        return false;
    if (toSelected)
        OutputDir = pipeline::FolderPart(OutputDir);
    bool result = false;
    if (combine) {
        for (const auto& source : Sources)
            JobSources.push_back(source.get());
        if (!toSelected)
            OutputDir = pipeline::FolderPart(Sources.front()->SrcFile);
        result = ConvertInto(
            OutputDir + pipeline::StripExtension(pipeline::FileNamePart(OutputFile)) + OutputExt);
        JobSources.clear();
        return result;
    }
    for (const auto& source : Sources) {
        JobSources = {source.get()};
        const std::string& src = source->SrcFile;
        result = ConvertInto(
            toSelected
                ? OutputDir + pipeline::StripExtension(pipeline::FileNamePart(src)) + OutputExt
                : pipeline::StripExtension(src) + OutputExt);
        JobSources.clear();
        if (Abort.Requested())
            break;
    }
    return result;
}

bool TMP4::ConvertInto(const std::string& wanted) {
    OneName.Path = wanted;
    OutputFile = OneName.UniqueName();
    return Convert();
}

bool TMP4::Convert() {
    TotalSeconds = 0;
    SameSampleRate = true;
    EncodeFailed = false;
    Accepted.clear();

    for (TBase* source : JobSources) {
        ErrorLines.clear();
        source->SetAbort(Abort);
        source->CollectTags();
        MetaArgs = source->MetaArgs;
        source->OnProgress = [this](TBase& s) { RelayProgress(s); };
        Activity = source->Kind;
        CurrentSource = source->SrcFile;
        Percent = 0;
        Raise(OnStepStart);
        source->Decode();
        if (Abort.Requested()) {
            if (platform::FileExists(source->WavFile))
                source->DeleteWav();
            return false;
        }
        // Sources after the one that gave the file its cover need not look for theirs.
        if (!VerifyOnly && std::none_of(JobSources.begin(), JobSources.end(), HasCover))
            source->FindCover();
        CurrentTarget = source->WavFile;
        const int seconds = source->WavLength();
        if (seconds > 0)
            TotalSeconds += seconds;
        Failed = source->Failed;
        if (Failed)
            ErrorLines =
                WithReason(source->ErrorLines, "No audio could be decoded from " + source->SrcFile);
        Raise(OnSourceDone);
    }

    int referenceRate = 0;
    for (TBase* source : JobSources) {
        if (!source->WavFileOk())
            continue;
        if (Accepted.empty())
            referenceRate = source->SampleRate;
        SampleRate = source->SampleRate;
        if (SampleRate != referenceRate)
            SameSampleRate = false;
        Accepted.push_back(source);
    }
    if (!SameSampleRate) {
        Accepted.clear();
        return false;
    }

    const std::string encoder = platform::AppFolder() + platform::EncoderTool;
    EncoderCommand = platform::QuoteText(encoder) + " " + EncoderOption;
    for (const TBase* source : Accepted)
        EncoderCommand += " -if " + platform::QuoteText(source->WavFile);

    // Sources that all failed to decode leave nothing to encode, and that is no success.
    bool result = VerifyOnly || !Accepted.empty() ||
                  std::none_of(JobSources.begin(), JobSources.end(),
                               [](const TBase* source) { return source->Failed; });
    if (!Accepted.empty() && !VerifyOnly) {
        Activity = ActivityEncoding;
        EncoderCommand += " -of " + platform::QuoteText(OutputFile);
        Cons.OnPoll = [this](TCons& runner) { EncoderPoll(runner); };
        CurrentTarget = OutputFile;
        Raise(OnStepStart);
        const bool started = Cons.Run("encoding to MP4...", EncoderCommand, "0", false);
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
            ErrorLines =
                WithReason(Cons.ScreenLines, "The encoder ended without writing " + OutputFile);
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

void TMP4::DoTag() {
    TaggerCommand = platform::QuoteText(platform::AppFolder() + platform::TaggerTool) + " " +
                    platform::QuoteText(OutputFile);
    const auto covered = std::find_if(Accepted.begin(), Accepted.end(), HasCover);
    if (covered != Accepted.end())
        TaggerCommand.append(" ").append(
            platform::QuoteText("-add-cover:front:" + (*covered)->Cover.Path()));
    for (std::size_t k = 0; k < Accepted.size(); ++k) {
        TaggerCommand += " -chapter:" + std::to_string(k + 1);
        for (const std::string& arg : Accepted[k]->MetaArgs)
            TaggerCommand += " " + arg;
    }
    Cons.OnPoll = [this](TCons& runner) { TaggerPoll(runner); };
    Raise(OnTagStart);
    Cons.Run("tagging...", TaggerCommand, "0", false);
    // The tagger replaces the file only once it is done, so a stopped one leaves an untagged
    // MP4 of this run, which an aborted run does not keep.
    if (Abort.Requested() && platform::FileExists(OutputFile))
        platform::DeleteFile(OutputFile);
    Raise(OnTagDone);
}

void TMP4::ClearAll() {
    JobSources.clear();
    Accepted.clear();
    while (!Sources.empty()) {
        Sources.front()->DeleteWav();
        Sources.erase(Sources.begin());
    }
}

void TMP4::RelayProgress(TBase& source) {
    Percent = source.Percent;
    Raise(OnProgress);
}

void TMP4::EncoderPoll(TCons& runner) {
    if (runner.ScreenLines.size() <= EncoderPlanLines || TotalSeconds <= 0)
        return;
    const std::vector<std::string> tokens = ScreenTokens(runner.ScreenLines.back());
    if (tokens.size() < 2 || !AllDigits(tokens[1]))
        return;
    // In floating point, so that no run of digits can overflow.
    double seconds = 0;
    for (char c : tokens[1])
        seconds = seconds * 10 + (c - '0');
    const double percent = seconds * 100 / TotalSeconds + 0.5;
    Percent = static_cast<int>(std::clamp(percent, 0.0, 100.0));
    Raise(OnProgress);
}

void TMP4::TaggerPoll(TCons& /*runner*/) {
    Raise(OnTagProgress);
}
