#include "sources/AvAudio.h"

#include "pipeline/PathParts.h"
#include "platform/AppFolder.h"
#include "platform/Files.h"
#include "platform/ToolNames.h"
#include "sources/Ape.h"
#include "sources/AvProbe.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<const char*, 11> Extensions = {
    ".wv", ".m4a", ".mp4", ".aif", ".aiff", ".aifc", ".tta", ".ogg", ".oga", ".opus", ".wma"};

} // namespace

TAvAudio::TAvAudio() {
    Kind = KindAv;
}

bool TAvAudio::KnownExtension(const std::string& fileName) {
    const std::string extension = pipeline::LowerExtension(fileName);
    return std::find(Extensions.begin(), Extensions.end(), extension) != Extensions.end();
}

bool TAvAudio::AcceptsFile(const std::string& fileName) {
    return KnownExtension(fileName) || TAvProbe::Read(fileName).has_value();
}

std::optional<TPcmSize> TAvAudio::PcmSize() {
    const std::optional<TAvProbe>& probe = Probe();
    if (!probe || probe->Frames == 0 || probe->Channels == 0 || probe->SampleRate == 0)
        return std::nullopt;
    return TPcmSize{probe->SampleRate, probe->Channels, probe->BytesPerSample, probe->Frames};
}

bool TAvAudio::Decode() {
    MakeWavName();
    const bool started = RunDecoder(platform::AvDecTool, SrcArg() + " " + QuoteArg(WavFile) + " -d",
                                    [this] { ParseScreen(&TApe::ProgressValue); });
    // Unlike the four first kinds, whose tools the start-up check asks for, a missing decoder
    // would leave this source without a word.
    if (!started && !Failed && !platform::FileExists(platform::AppFolder() + platform::AvDecTool)) {
        Failed = true;
        ErrorLines = {"The decoder " + platform::AppFolder() + platform::AvDecTool +
                      " is not there: " + SrcFile + " cannot be decoded."};
        DeleteWav();
    }
    return started;
}

const std::optional<TAvProbe>& TAvAudio::Probe() {
    if (!Probed) {
        ProbeResult = TAvProbe::Read(SrcFile);
        Probed = true;
    }
    return ProbeResult;
}

TTagLibReader::TContainer TAvAudio::Container() {
    const std::optional<TAvProbe>& probe = Probe();
    return probe ? TTagLibReader::ContainerOf(probe->Format, probe->Codec)
                 : TTagLibReader::TContainer::None;
}

void TAvAudio::CollectTags() {
    if (platform::FileExists(SrcFile))
        TTagLibReader::ReadTags(SrcFile, Container(), TagValues);
    if (TagValue(TTagField::Title).empty() && NameAsTitle)
        TagValue(TTagField::Title) = FileTitle();
    AppendAllMetaArgs();
}

bool TAvAudio::ReadEmbeddedCover() {
    return KeepCover(TTagLibReader::ReadFrontCover(SrcFile, Container(), MaxCoverBytes));
}
