#include "pipeline/Wav.h"

#include "pipeline/PathParts.h"
#include "pipeline/Wavinfo.h"

TWav::TWav() {
    Kind = KindWav;
}

bool TWav::AcceptsFile(const std::string& fileName) {
    return pipeline::LowerExtension(fileName) == ".wav";
}

void TWav::MakeWavName() {
    WavFile = SrcFile;
}

bool TWav::Decode() {
    MakeWavName();
    TWavInfo info;
    info.ReadHeader(WavFile);
    // Taken for good, a recording cut short would hand the encoder less than its header says.
    if (info.Truncated()) {
        Failed = true;
        ErrorLines = {"The audio of " + SrcFile + " ends before the length its header gives."};
    }
    return !Failed;
}

void TWav::DeleteWav() {
    Cover.Remove();
}

std::optional<TPcmSize> TWav::PcmSize() {
    TWavInfo info;
    info.ReadHeader(SrcFile);
    const platform::TRiffFormat& format = info.Format();
    if (format.Channels == 0 || format.BlockAlign < format.Channels)
        return std::nullopt;
    const unsigned bytes = format.BlockAlign / format.Channels;
    return TPcmSize{format.SampleRate, format.Channels, bytes,
                    info.DataBytes() / format.BlockAlign};
}

void TWav::CollectTags() {
    if (!NameAsTitle)
        return;
    Title = FileTitle();
    TagValue(TTagField::Title) = Title;
    MetaArgs.push_back(MetaArg("Title", Title));
}
