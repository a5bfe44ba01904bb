#include "pipeline/Mp4.h"

#include "pipeline/PathParts.h"
#include "pipeline/Wav.h"
#include "platform/AppFolder.h"
#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/ToolNames.h"

#include <algorithm>
#include <fstream>

namespace {

const int EncodingActivity = 10;
// The encoder's plan takes this many lines; only a line below it can carry the seconds done.
const std::size_t EncoderPlanLines = 5;

std::unique_ptr<TBase> NewSource(const std::string& path) {
    // One kind per extension; the APE, FLAC and MP3 kinds belong here beside the WAV kind.
    if (pipeline::LowerExtension(path) == ".wav")
        return std::make_unique<TWav>();
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

// Every MP4 the encoder writes opens with its file-type box.
bool LooksLikeMp4(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char box[8] = {};
    return in.read(box, sizeof box) && std::equal(box + 4, box + 8, "ftyp");
}

} // namespace

TMP4::~TMP4() {
    ClearAll(true);
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
        ~TClearAtEnd() { Job.ClearAll(true); }
    } clearAtEnd{*this};

    // A false result with nothing converted must not read as mixed rates or a failed encode.
    SameSampleRate = true;
    EncodeFailed = false;
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
        if (AbortRequested)
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
        source->CollectTags();
        MetaArgs = source->MetaArgs;
        source->OnProgress = [this](TBase& s) { RelayProgress(s); };
        Activity = source->Kind;
        CurrentSource = source->SrcFile;
        Percent = 0;
        Raise(OnStepStart);
        source->Decode();
        if (AbortRequested) {
            if (platform::FileExists(source->WavFile))
                source->DeleteWav();
            return false;
        }
        CurrentTarget = source->WavFile;
        const int seconds = source->WavLength();
        if (seconds > 0)
            TotalSeconds += seconds;
        Failed = source->Failed;
        if (Failed)
            ErrorLines = source->ErrorLines;
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

    bool result = true;
    if (!Accepted.empty() && !VerifyOnly) {
        Activity = EncodingActivity;
        EncoderCommand += " -of " + platform::QuoteText(OutputFile);
        Cons.OnPoll = [this](TCons& runner) { EncoderPoll(runner); };
        CurrentTarget = OutputFile;
        Raise(OnStepStart);
        const bool started = Cons.Run("encoding to MP4...", EncoderCommand, "0", false);
        if (AbortRequested) {
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
            ErrorLines = Cons.ScreenLines;
            EncodeFailed = true;
        }
        if (EncodeFailed) {
            Failed = true;
            result = false;
            Raise(OnEncodeDone);
        } else {
            Raise(OnEncodeDone);
            DoTag();
        }
    }
    Accepted.clear();
    Activity = 0;
    return result;
}

void TMP4::DoTag() {
    TaggerCommand = platform::QuoteText(platform::AppFolder() + platform::TaggerTool) + " " +
                    platform::QuoteText(OutputFile);
    for (std::size_t k = 0; k < Accepted.size(); ++k) {
        TaggerCommand += " -chapter:" + std::to_string(k + 1);
        for (const std::string& arg : Accepted[k]->MetaArgs)
            TaggerCommand += " " + arg;
    }
    Cons.OnPoll = [this](TCons& runner) { TaggerPoll(runner); };
    Raise(OnTagStart);
    Cons.Run("tagging...", TaggerCommand, "0", false);
    Raise(OnTagDone);
}

void TMP4::ClearAll(bool owning) {
    JobSources.clear();
    Accepted.clear();
    while (!Sources.empty()) {
        Sources.front()->DeleteWav();
        if (!owning)
            static_cast<void>(Sources.front().release());
        Sources.erase(Sources.begin());
    }
}

void TMP4::RelayProgress(TBase& source) {
    source.AbortRequested = AbortRequested;
    Percent = source.Percent;
    Raise(OnProgress);
}

void TMP4::EncoderPoll(TCons& runner) {
    runner.TerminateRequested = AbortRequested;
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

void TMP4::TaggerPoll(TCons& runner) {
    // An abort stops decoding and encoding; the short tagging run is left to finish.
    runner.TerminateRequested = false;
    Raise(OnTagProgress);
}
