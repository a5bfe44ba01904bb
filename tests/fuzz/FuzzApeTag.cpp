#include "FuzzCheck.h"
#include "tags/ApeTagReader.h"
#include "tags/MemorySource.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemorySource source(std::span(data, size));
    std::vector<std::string> values(7);
    TApeTagReader reader;
    reader.ReadTags(source, values);
    std::size_t total = 0;
    for (const std::string& value : values) {
        RequireUtf8(value);
        total += value.size();
    }
    RequireBounded(total, size);
    RequireBounded(reader.ReadFrontCover(source, size).size(), size);
    return 0;
}
