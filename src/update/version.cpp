#include "update/version.h"

#include "platform/ExecutablePath.h"
#include "platform/Files.h"
#include "platform/VersionBlock.h"

#include <optional>

void TVersion::ReadAll() {
    const std::string path = FileName.empty() ? platform::ExecutablePath() : FileName;
    FileVersion = QueryString(path, "FileVersion");
    Comments = QueryString(path, "Comments");
    CompanyName = QueryString(path, "CompanyName");
    FileDescription = QueryString(path, "FileDescription");
    InternalName = QueryString(path, "InternalName");
    LegalCopyright = QueryString(path, "LegalCopyright");
    LegalTrademarks = QueryString(path, "LegalTrademarks");
    OriginalFilename = QueryString(path, "OriginalFilename");
    PrivateBuild = QueryString(path, "PrivateBuild");
    ProductName = QueryString(path, "ProductName");
    ProductVersion = QueryString(path, "ProductVersion");
    SpecialBuild = QueryString(path, "SpecialBuild");
}

std::string TVersion::QueryString(const std::string& path, const std::string& key) {
    if (!platform::FileExists(path))
        return NoFile;
    const std::optional<std::string> block = platform::ReadVersionBlock(path);
    if (!block || block->empty())
        return NoBlock;
    // Key and value alternate, each ended by a NUL; a pair cut short by the end is no pair.
    std::size_t at = 0;
    while (at < block->size()) {
        const std::size_t keyEnd = block->find('\0', at);
        if (keyEnd == std::string::npos)
            break;
        const std::size_t valueEnd = block->find('\0', keyEnd + 1);
        if (valueEnd == std::string::npos)
            break;
        if (block->compare(at, keyEnd - at, key) == 0)
            return block->substr(keyEnd + 1, valueEnd - keyEnd - 1);
        at = valueEnd + 1;
    }
    return NoKey;
}
