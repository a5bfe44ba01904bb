#include "sources/Ape.h"

#include "pipeline/PathParts.h"
#include "platform/Files.h"
#include "platform/ToolNames.h"
#include "tags/FileSource.h"

TApe::TApe() {
    Kind = KindApe;
}

bool TApe::AcceptsFile(const std::string& fileName) {
    return pipeline::LowerExtension(fileName) == ".ape";
}

std::optional<TPcmSize> TApe::PcmSize() {
    return ReadPcmSize(ReadApePcmSize);
}

bool TApe::Decode() {
    TFileSource file;
    // Decoded, such a header would have the run ask for room no disk has, or end early.
    if (file.Open(SrcFile) && ApeHeaderOverruns(file)) {
        Failed = true;
        ErrorLines = {"The header of " + SrcFile +
                      " claims more audio than the file can hold: the file is damaged."};
        return false;
    }
    MakeWavName();
    return RunDecoder(platform::MacTool, SrcArg() + " " + QuoteArg(WavFile) + " -d",
                      [this] { ParseProgress(); });
}

void TApe::ParseProgress() {
    ParseScreen(&TApe::ProgressValue);
}

std::optional<int> TApe::ProgressValue(const std::string& line) {
    if (line.find("Progress: ") == std::string::npos)
        return std::nullopt;
    // The label's length goes from the front wherever the label stands.
    std::string rest = line.substr(10);
    // The last character is never taken for the point: "100%" reads through its dropped '%'.
    const std::size_t dot = rest.find('.');
    if (dot != std::string::npos && dot + 1 < rest.size())
        rest.resize(dot);
    else if (!rest.empty())
        rest.pop_back();
    return ParseInteger(rest);
}

void TApe::CollectTags() {
    if (!platform::FileExists(SrcFile))
        return;
    TagReader.CodePage = CodePage;
    TagReader.ReadTags(SrcFile, TagValues);
    BuildMetaArgs();
}

bool TApe::ReadEmbeddedCover() {
    TFileSource file;
    return file.Open(SrcFile) && KeepCover(TagReader.ReadFrontCover(file, MaxCoverBytes));
}

void TApe::BuildMetaArgs() {
    if (TagValue(TTagField::Title).empty() && NameAsTitle)
        TagValue(TTagField::Title) = FileTitle();
    AppendAllMetaArgs();
}
