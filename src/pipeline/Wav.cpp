#include "pipeline/Wav.h"

#include "pipeline/PathParts.h"

TWav::TWav() {
    Kind = 4;
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

void TWav::DeleteWav() {}

void TWav::CollectTags() {
    if (!NameAsTitle)
        return;
    Title = FileTitle();
    TagValues[0] = Title;
    MetaArgs.push_back(MetaArg("Title", Title));
}
