#include "tags/TagLibReader.h"

#include <algorithm>
#include <memory>
#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <utility>

namespace {

using TContainer = TTagLibReader::TContainer;

// The property names TagLib gives every tag kind, and the field each fills.
constexpr std::pair<const char*, TTagField> FieldNames[] = {
    {"TITLE", TTagField::Title},
    {"ARTIST", TTagField::Artist},
    {"TRACKNUMBER", TTagField::Track},
    {"ALBUM", TTagField::Album},
    {"COMMENT", TTagField::Comment},
    {"GENRE", TTagField::Genre},
    {"DATE", TTagField::Year},
    {"ALBUMARTIST", TTagField::AlbumArtist},
    {"ALBUM ARTIST", TTagField::AlbumArtist},
    {"DISCNUMBER", TTagField::Disc},
    {"TRACKTOTAL", TTagField::TrackTotal},
    {"TOTALTRACKS", TTagField::TrackTotal},
    {"COMPOSER", TTagField::Composer},
    {"COMPILATION", TTagField::Compilation},
};

std::unique_ptr<TagLib::File> OpenFile(const std::string& path, TContainer container) {
    const char* name = path.c_str();
    switch (container) {
    case TContainer::WavPack:
        return std::make_unique<TagLib::WavPack::File>(name);
    case TContainer::TrueAudio:
        // TagLib's TTA reader knows only ID3 tags; the APEv2 tag most TTA writers use is read
        // by its APE reader, which finds a tag at the end of any file when it reads no header.
        return std::make_unique<TagLib::APE::File>(name, false);
    case TContainer::Mp4:
        return std::make_unique<TagLib::MP4::File>(name);
    case TContainer::Aiff:
        return std::make_unique<TagLib::RIFF::AIFF::File>(name);
    case TContainer::Wav:
        return std::make_unique<TagLib::RIFF::WAV::File>(name);
    case TContainer::OggVorbis:
        return std::make_unique<TagLib::Ogg::Vorbis::File>(name);
    case TContainer::OggOpus:
        return std::make_unique<TagLib::Ogg::Opus::File>(name);
    case TContainer::Asf:
        return std::make_unique<TagLib::ASF::File>(name);
    case TContainer::None:
        break;
    }
    return nullptr;
}

// The values of one name joined in their order, each once; "0" is no value (a track of 0).
std::string Joined(const TagLib::StringList& values) {
    std::string text;
    std::vector<std::string> taken;
    for (const TagLib::String& value : values) {
        const std::string utf8 = value.to8Bit(true);
        if (utf8.empty() || utf8 == "0" ||
            std::find(taken.begin(), taken.end(), utf8) != taken.end())
            continue;
        if (!text.empty())
            text += "; ";
        text += utf8;
        taken.push_back(utf8);
    }
    return text;
}

std::vector<std::uint8_t> Bytes(const TagLib::ByteVector& data, std::size_t maxBytes) {
    if (data.isEmpty() || data.size() > maxBytes)
        return {};
    return {data.begin(), data.end()};
}

// Of pictures given by type (3 the front cover) and data: the front, else the first.
template <typename TList, typename TType, typename TData>
std::vector<std::uint8_t> Front(const TList& pictures, TType type, TData data,
                                std::size_t maxBytes) {
    if (pictures.isEmpty())
        return {};
    for (const auto& picture : pictures)
        if (type(picture) == 3)
            return Bytes(data(picture), maxBytes);
    return Bytes(data(pictures.front()), maxBytes);
}

std::vector<std::uint8_t> Id3v2Cover(TagLib::ID3v2::Tag* tag, std::size_t maxBytes) {
    if (!tag)
        return {};
    return Front(
        tag->frameList("APIC"),
        [](TagLib::ID3v2::Frame* f) {
            return static_cast<int>(static_cast<TagLib::ID3v2::AttachedPictureFrame*>(f)->type());
        },
        [](TagLib::ID3v2::Frame* f) {
            return static_cast<TagLib::ID3v2::AttachedPictureFrame*>(f)->picture();
        },
        maxBytes);
}

// The binary item is a file name, a zero byte and the image.
std::vector<std::uint8_t> ApeCover(TagLib::APE::Tag* tag, std::size_t maxBytes) {
    if (!tag)
        return {};
    for (const char* key : {"COVER ART (FRONT)", "COVER ART (OTHER)"}) {
        const auto item = tag->itemListMap().find(key);
        if (item == tag->itemListMap().end())
            continue;
        const TagLib::ByteVector value = item->second.binaryData();
        const int zero = value.find('\0');
        if (zero >= 0)
            return Bytes(value.mid(static_cast<unsigned>(zero) + 1), maxBytes);
    }
    return {};
}

std::vector<std::uint8_t> XiphCover(TagLib::Ogg::XiphComment* tag, std::size_t maxBytes) {
    if (!tag)
        return {};
    return Front(
        tag->pictureList(), [](TagLib::FLAC::Picture* p) { return static_cast<int>(p->type()); },
        [](TagLib::FLAC::Picture* p) { return p->data(); }, maxBytes);
}

} // namespace

TContainer TTagLibReader::ContainerOf(const std::string& format, const std::string& codec) {
    if (format == "wv")
        return TContainer::WavPack;
    if (format == "tta")
        return TContainer::TrueAudio;
    if (format.find("mp4") != std::string::npos)
        return TContainer::Mp4;
    if (format == "aiff")
        return TContainer::Aiff;
    if (format == "wav")
        return TContainer::Wav;
    if (format == "ogg" && codec == "vorbis")
        return TContainer::OggVorbis;
    if (format == "ogg" && codec == "opus")
        return TContainer::OggOpus;
    if (format == "asf")
        return TContainer::Asf;
    return TContainer::None;
}

bool TTagLibReader::ReadTags(const std::string& path, TContainer container,
                             std::span<std::string> tagValues) {
    const std::unique_ptr<TagLib::File> file = OpenFile(path, container);
    if (!file || !file->isValid())
        return false;
    const TagLib::PropertyMap properties = file->properties();
    for (const auto& [name, field] : FieldNames) {
        std::string& value = tagValues[Slot(field)];
        if (value.empty() && properties.contains(name))
            value = Joined(properties[name]);
    }
    // A disc number of its own gets its total as an "n/m".
    std::string& disc = tagValues[Slot(TTagField::Disc)];
    for (const char* total : {"DISCTOTAL", "TOTALDISCS"})
        if (!disc.empty() && disc.find('/') == std::string::npos && properties.contains(total))
            disc.append(1, '/').append(Joined(properties[total]));
    return true;
}

std::vector<std::uint8_t>
TTagLibReader::ReadFrontCover(const std::string& path, TContainer container, std::size_t maxBytes) {
    const std::unique_ptr<TagLib::File> file = OpenFile(path, container);
    if (!file || !file->isValid())
        return {};
    if (auto* wv = dynamic_cast<TagLib::WavPack::File*>(file.get()))
        return ApeCover(wv->APETag(), maxBytes);
    if (auto* ape = dynamic_cast<TagLib::APE::File*>(file.get()))
        return ApeCover(ape->APETag(), maxBytes);
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file.get()))
        return Id3v2Cover(aiff->tag(), maxBytes);
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file.get()))
        return Id3v2Cover(wav->ID3v2Tag(), maxBytes);
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file.get()))
        return XiphCover(vorbis->tag(), maxBytes);
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file.get()))
        return XiphCover(opus->tag(), maxBytes);
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.get())) {
        const TagLib::MP4::Tag* tag = mp4->tag();
        if (!tag || !tag->contains("covr"))
            return {};
        const TagLib::MP4::CoverArtList covers = tag->item("covr").toCoverArtList();
        return covers.isEmpty() ? std::vector<std::uint8_t>{}
                                : Bytes(covers.front().data(), maxBytes);
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file.get())) {
        TagLib::ASF::Tag* tag = asf->tag();
        if (!tag || !tag->contains("WM/Picture"))
            return {};
        return Front(
            tag->attribute("WM/Picture"),
            [](const TagLib::ASF::Attribute& a) { return static_cast<int>(a.toPicture().type()); },
            [](const TagLib::ASF::Attribute& a) { return a.toPicture().picture(); }, maxBytes);
    }
    return {};
}
