#include "pipeline/Base.h"

#include "pipeline/Wavinfo.h"
#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/TempFile.h"

namespace {
const int WavKind = 4;
}

bool TBase::AcceptsFile(const std::string& /*fileName*/) {
    return false;
}

int TBase::WavLength() {
    TWavInfo info;
    info.ReadHeader(WavFile);
    return info.Seconds();
}

void TBase::MakeWavName() {
    if (!AbortRequested)
        WavFile = platform::CreateTempWav();
}

bool TBase::Decode() {
    return false;
}

void TBase::DeleteWav() {
    if (platform::FileExists(WavFile))
        platform::DeleteFile(WavFile);
}

void TBase::CollectTags() {}

void TBase::SetSrcFile(const std::string& path) {
    if (SrcFile.empty() && platform::FileExists(path) && AcceptsFile(path))
        SrcFile = path;
}

bool TBase::CheckFile(const std::string& path) {
    if (!platform::FileExists(path))
        return false;
    const std::int64_t size = platform::FileSize(path);
    TWavInfo info;
    info.ReadHeader(path);
    SampleRate = info.Valid ? info.SampleRate() : 0;
    return size >= TWavInfo::HeaderSize() && (Kind != WavKind || info.Valid);
}

// Paths and command lines are UTF-8 here, so the code-page round trip keeps every byte and only
// the quoting is left.
std::string TBase::QuoteArg(const std::string& text) {
    return platform::QuoteText(text);
}

std::string TBase::Utf8ToText(std::string_view bytes) {
    return platform::Utf8ToText(bytes);
}
