#include "pipeline/Wav.h"

#include "pipeline/PathParts.h"

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
    return true;
}

void TWav::DeleteWav() {
    Cover.Remove();
}

void TWav::CollectTags() {
    if (!NameAsTitle)
        return;
    Title = FileTitle();
    TagValue(TTagField::Title) = Title;
    MetaArgs.push_back(MetaArg("Title", Title));
}
