#include "tags/Id3v1library.h"

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "tags/FileSource.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

const std::array<std::string_view, 148> ID3Genres = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychedelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "A capella",
    "Euro-House",
    "Dance Hall",
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore",
    "Terror",
    "Indie",
    "BritPop",
    "Negerpunk",
    "Polsk Punk",
    "Beat",
    "Christian Gangsta Rap",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Christian",
    "Christian Rock",
    "Merengue",
    "Salsa",
    "Trash Metal",
    "Anime",
    "JPop",
    "SynthPop",
};

std::string ID3v1GenreDataToString(std::uint8_t genre) {
    return genre < ID3Genres.size() ? std::string(ID3Genres[genre]) : std::string();
}

namespace {

constexpr std::size_t BlockSize = 128;

// A field ends at its first zero byte or its width; blanks are part of the value.
std::string Field(const std::uint8_t* block, std::size_t offset, std::size_t width, int codePage) {
    const std::span<const std::uint8_t> field(block + offset, width);
    return platform::CodePageToUtf8(
        field.first(std::find(field.begin(), field.end(), 0) - field.begin()), codePage);
}

} // namespace

void TID3v1Tag::Clear() {
    FileName.clear();
    Loaded = false;
    Revision1 = false;
    Title.clear();
    Artist.clear();
    Album.clear();
    Year.clear();
    Comment.clear();
    Track = 0;
    Genre.clear();
    GenreByte = 0;
}

int TID3v1Tag::LoadFromFile(const std::string& fileName) {
    // The name of the last successful load outlives a failed one.
    std::string lastFileName = std::move(FileName);
    Clear();
    FileName = std::move(lastFileName);
    if (!platform::FileExists(fileName))
        return ResultFileError;
    // A file that is there but cannot be opened is reported, not raised: the source goes on
    // without this tag.
    TFileSource file;
    if (!file.Open(fileName))
        return ResultFileError;
    // A file shorter than the block is read from its start.
    if (file.Size() >= BlockSize)
        file.Seek(file.Size() - BlockSize);
    const int result = LoadFromStream(file);
    if (result == ResultOk)
        FileName = fileName;
    return result;
}

int TID3v1Tag::LoadFromStream(TByteSource& tagStream) {
    Loaded = false;
    std::uint8_t block[BlockSize] = {};
    tagStream.Read(block, BlockSize);
    if (tagStream.Failed()) {
        Clear();
        return ResultReadError;
    }
    if (std::memcmp(block, "TAG", 3) != 0)
        return ResultNoTag;
    Title = Field(block, 3, 30, CodePage);
    Artist = Field(block, 33, 30, CodePage);
    Album = Field(block, 63, 30, CodePage);
    Year = Field(block, 93, 4, CodePage);
    Comment = Field(block, 97, 30, CodePage);
    GenreByte = block[127];
    Genre = ID3v1GenreDataToString(GenreByte);
    Revision1 = block[125] == 0;
    Track = Revision1 ? block[126] : 0;
    Loaded = true;
    return ResultOk;
}
