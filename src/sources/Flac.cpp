#include "sources/Flac.h"

#include "pipeline/PathParts.h"
#include "platform/AppFolder.h"
#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/Files.h"
#include "platform/ToolNames.h"
#include "tags/FileSource.h"

#include <cstring>

namespace {

// How much of a line after its '=' the name gives up: a value this long or longer keeps a tail
// in the name and matches no tag.
const std::size_t NameCut = 200;

// The byte offset count characters after start, counted in UTF-8 as the screen shows them.
std::size_t SkipCharacters(const std::string& text, std::size_t start, std::size_t count) {
    std::size_t at = start;
    for (; at < text.size() && count > 0; --count) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
    }
    return at;
}

// The metadata block number of the front cover as metaflac counts blocks: the first PICTURE block
// of type 3, else the first PICTURE block. Only block headers and picture types are read.
std::optional<unsigned> FrontPictureBlock(const std::string& path) {
    constexpr std::uint8_t PictureBlock = 6;
    TFileSource file;
    std::uint8_t head[4] = {};
    if (!file.Open(path) || file.Read(head, 4) != 4 || std::memcmp(head, "fLaC", 4) != 0)
        return std::nullopt;
    std::optional<unsigned> first;
    for (unsigned block = 0; file.Read(head, 4) == 4; ++block) {
        const std::uint64_t next = file.Position() + platform::BigEndian24(head + 1);
        std::uint8_t type[4] = {};
        if ((head[0] & 0x7F) == PictureBlock && file.Read(type, 4) == 4) {
            if (platform::BigEndian32(type) == 3)
                return block;
            first = first.value_or(block);
        }
        if ((head[0] & 0x80) != 0 || !file.Seek(next))
            break;
    }
    return first;
}

} // namespace

TFlac::TFlac() {
    Kind = KindFlac;
}

bool TFlac::AcceptsFile(const std::string& fileName) {
    return pipeline::LowerExtension(fileName) == ".flac";
}

std::optional<TPcmSize> TFlac::PcmSize() {
    TFileSource file;
    return file.Open(SrcFile) ? ReadFlacPcmSize(file) : std::nullopt;
}

bool TFlac::Decode() {
    MakeWavName();
    // flac refuses a plain WAV whose sizes would pass 32 bits.
    const std::optional<TPcmSize> size = PcmSize();
    const bool rf64 = size && size->Bytes() + 36 > 0xFFFFFFFFu;
    return RunDecoder(platform::FlacTool,
                      std::string(rf64 ? "-d -f --force-rf64-format " : "-d -f ") + SrcArg() +
                          " -o " + QuoteArg(WavFile),
                      [this] { ParseProgress(); });
}

void TFlac::ParseProgress() {
    ParseScreen(&TFlac::ProgressValue);
}

std::optional<int> TFlac::ProgressValue(const std::string& line) {
    const std::size_t percent = line.find("% complete");
    if (percent == std::string::npos || percent == 0)
        return std::nullopt;
    // Backwards from before the '%': the colon after the file name, not one inside it.
    const std::size_t colon = line.rfind(':', percent - 1);
    if (colon == std::string::npos)
        return std::nullopt;
    return ParseInteger(std::string_view(line).substr(colon + 1, percent - colon - 1));
}

void TFlac::CollectTags() {
    const std::string folder = platform::AppFolder();
    const std::string tool = folder + platform::MetaflacTool;
    // Without the tag lister there is nothing to read, and the screen keeps what it had.
    if (platform::FileExists(tool)) {
        // The listing reports no progress; only an abort stops it, through the console.
        Cons.OnPoll = nullptr;
        Cons.Run("Extracting Tags ...",
                 QuoteArg(tool) + " " + SrcArg() +
                     " --show-tag=ARTIST --show-tag=TITLE --show-tag=TRACKNUMBER"
                     " --show-tag=ALBUM --show-tag=COMMENT --show-tag=GENRE --show-tag=DATE",
                 folder, false);
    }
    bool seen = false;
    for (const std::string& line : Cons.ScreenLines) {
        seen = !line.empty();
        StoreTagLine(line);
    }
    if (TagValue(TTagField::Title).empty() && NameAsTitle)
        TagValue(TTagField::Title) = FileTitle();
    AppendAllMetaArgs();
    for (std::size_t i = 0; i < TagNames.size(); ++i)
        seen = seen || !TagValues[i].empty();
    // A file that showed nothing and has no title from its name gets no arguments at all.
    if (!seen)
        MetaArgs.clear();
}

bool TFlac::ReadEmbeddedCover() {
    const std::string folder = platform::AppFolder();
    const std::string tool = folder + platform::MetaflacTool;
    const std::optional<unsigned> block = FrontPictureBlock(SrcFile);
    if (!block || !platform::FileExists(tool) || !Cover.Create())
        return false;
    Cons.OnPoll = nullptr;
    Cons.Run("Extracting Cover ...",
             QuoteArg(tool) + " --block-number=" + std::to_string(*block) + " " +
                 QuoteArg("--export-picture-to=" + Cover.Path()) + " " + SrcArg(),
             folder, false);
    return CoverFileOk();
}

void TFlac::StoreTagLine(const std::string& line) {
    const std::size_t equals = line.find('=');
    std::string name = line;
    std::string value = line;
    if (equals != std::string::npos) {
        name = line.substr(0, equals) + line.substr(SkipCharacters(line, equals, NameCut));
        value = line.substr(equals + 1);
    }
    // "0" is no value: a track number of 0 means there is none.
    if (value == "0")
        value.clear();
    const std::string lowerName = platform::AsciiLower(name);
    for (std::size_t i = 0; i < TagNames.size(); ++i) {
        if (platform::AsciiLower(std::string(TagNames[i])) == lowerName) {
            TagValues[i] = value;
            return;
        }
    }
}
