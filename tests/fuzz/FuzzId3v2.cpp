#include "FuzzCheck.h"
#include "tags/Id3v2library.h"
#include "tags/MemorySource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemorySource source(std::span(data, size));
    TID3v2Tag tag;
    tag.LoadFromStream(source);
    std::size_t stored = 0;
    for (int i = 0; i < tag.FrameCount(); ++i) {
        stored += tag.Frames[i]->Stream.capacity();
        const std::string text = tag.GetUnicodeText(i);
        RequireUtf8(text);
        RequireUtf8(ID3v2GenreToString(text));
        TLanguageID language{};
        std::string description;
        const std::string comment = tag.GetUnicodeComment(i, language, description);
        RequireUtf8(comment);
        RequireUtf8(description);
        RequireBounded(comment.size() + description.size(), tag.Frames[i]->Stream.size());
    }
    // Frame data never takes more memory than the input holds.
    if (stored > size)
        std::abort();
    TMemorySource again(std::span(data, size));
    if (TID3v2Tag().ReadFrontCover(again, size).size() > size)
        std::abort();
    return 0;
}
