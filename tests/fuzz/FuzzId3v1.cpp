#include "FuzzCheck.h"
#include "tags/Id3v1library.h"
#include "tags/MemorySource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemorySource source(std::span(data, size));
    TID3v1Tag tag;
    if (tag.LoadFromStream(source) != TID3v1Tag::ResultOk)
        return 0;
    for (const std::string* field :
         {&tag.Title, &tag.Artist, &tag.Album, &tag.Year, &tag.Comment, &tag.Genre}) {
        RequireUtf8(*field);
        RequireBounded(field->size(), 30);
    }
    return 0;
}
