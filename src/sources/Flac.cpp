#include "sources/Flac.h"

#include "pipeline/PathParts.h"
#include "platform/AppFolder.h"
#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/Files.h"
#include "platform/TempFile.h"
#include "platform/ToolNames.h"
#include "tags/FileSource.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string_view>
#include <utility>

namespace {

// The comments read besides TagNames, under every spelling rippers use, and where each goes.
enum class TFurther { AlbumArtist, DiscNumber, DiscTotal, TrackTotal, Composer, Compilation };
constexpr std::pair<std::string_view, TFurther> FurtherNames[] = {
    {"ALBUMARTIST", TFurther::AlbumArtist}, {"ALBUM ARTIST", TFurther::AlbumArtist},
    {"DISCNUMBER", TFurther::DiscNumber},   {"DISCTOTAL", TFurther::DiscTotal},
    {"TOTALDISCS", TFurther::DiscTotal},    {"TRACKTOTAL", TFurther::TrackTotal},
    {"TOTALTRACKS", TFurther::TrackTotal},  {"COMPOSER", TFurther::Composer},
    {"COMPILATION", TFurther::Compilation},
};

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
    return ReadPcmSize(ReadFlacPcmSize);
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
    // The screen wraps a long value and keeps only the last of a repeated field, so the values
    // come from the file the lister exports; the screen still shows what it listed.
    platform::TTempFile exported;
    // Without the tag lister there is nothing to read, and the screen keeps what it had.
    if (platform::FileExists(tool)) {
        std::string command =
            QuoteArg(tool) + " " + SrcArg() +
            " --show-tag=ARTIST --show-tag=TITLE --show-tag=TRACKNUMBER"
            " --show-tag=ALBUM --show-tag=COMMENT --show-tag=GENRE --show-tag=DATE";
        for (const auto& [name, field] : FurtherNames)
            command.append(" ").append(QuoteArg(std::string("--show-tag=").append(name)));
        if (exported.Create())
            command.append(" ").append(QuoteArg("--export-tags-to=" + exported.Path()));
        // The listing reports no progress; only an abort stops it, through the console.
        Cons.OnPoll = nullptr;
        Cons.Run("Extracting Tags ...", command, folder, false);
    }
    bool seen = false;
    for (const std::string& line : Cons.ScreenLines)
        seen = !line.empty();
    std::ifstream file;
    if (!exported.Path().empty())
        file.open(exported.Path(), std::ios::binary);
    if (file.is_open()) {
        for (std::string line; std::getline(file, line);)
            StoreTagLine(line, true);
    } else {
        for (const std::string& line : Cons.ScreenLines)
            StoreTagLine(line, false);
    }
    StoreValues();
    if (TagValue(TTagField::Title).empty() && NameAsTitle)
        TagValue(TTagField::Title) = FileTitle();
    AppendAllMetaArgs();
    for (const std::string& value : TagValues)
        seen = seen || !value.empty();
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

// In the export a line without "=" continues the value before it: a line break in a value is
// written as it is. On the screen such a line is the wrapped rest of a line and is ignored.
void TFlac::StoreTagLine(const std::string& line, bool exported) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        if (exported && LastValues && !LastValues->empty())
            LastValues->back() += "\n" + line;
        return;
    }
    const std::string name = platform::AsciiLower(line.substr(0, equals));
    LastValues = nullptr;
    for (std::size_t i = 0; i < TagNames.size() && !LastValues; ++i)
        if (platform::AsciiLower(TagNames[i]) == name)
            LastValues = &Listed[i];
    for (const auto& [further, field] : FurtherNames)
        if (!LastValues && platform::AsciiLower(std::string(further)) == name)
            LastValues = &Listed[TagNames.size() + static_cast<std::size_t>(field)];
    if (LastValues)
        LastValues->push_back(line.substr(equals + 1));
}

// A field given more than once gives its values joined in their order, each value once.
void TFlac::StoreValues() {
    auto joined = [this](std::size_t listed) {
        std::string text;
        std::vector<std::string> taken;
        for (const std::string& value : Listed[listed]) {
            // "0" is no value: a track number of 0 means there is none.
            if (value == "0" || value.empty() ||
                std::find(taken.begin(), taken.end(), value) != taken.end())
                continue;
            text += (text.empty() ? "" : "; ") + value;
            taken.push_back(value);
        }
        return text;
    };
    for (std::size_t i = 0; i < TagNames.size(); ++i)
        TagValues[i] = joined(i);
    auto further = [&](TFurther field) {
        return joined(TagNames.size() + static_cast<std::size_t>(field));
    };
    TagValue(TTagField::AlbumArtist) = further(TFurther::AlbumArtist);
    TagValue(TTagField::Composer) = further(TFurther::Composer);
    TagValue(TTagField::Compilation) = further(TFurther::Compilation);
    TagValue(TTagField::TrackTotal) = further(TFurther::TrackTotal);
    std::string disc = further(TFurther::DiscNumber);
    const std::string discTotal = further(TFurther::DiscTotal);
    if (!disc.empty() && disc.find('/') == std::string::npos && !discTotal.empty())
        disc += "/" + discTotal;
    TagValue(TTagField::Disc) = disc;
}
