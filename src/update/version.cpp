#include "update/version.h"

#include "platform/ExecutablePath.h"
#include "platform/Files.h"
#include "platform/VersionBlock.h"

#include <optional>

namespace {

// The file's block once, for every text asked of it.
struct TBlock {
    bool FileThere = false;
    std::optional<std::string> Bytes;

    explicit TBlock(const std::string& path) : FileThere(platform::FileExists(path)) {
        if (FileThere)
            Bytes = platform::ReadVersionBlock(path);
    }

    std::string Text(const std::string& key) const {
        if (!FileThere)
            return TVersion::NoFile;
        if (!Bytes || Bytes->empty())
            return TVersion::NoBlock;
        // Key and value alternate, each ended by a NUL; a pair cut short by the end is no pair.
        std::size_t at = 0;
        while (at < Bytes->size()) {
            const std::size_t keyEnd = Bytes->find('\0', at);
            if (keyEnd == std::string::npos)
                break;
            const std::size_t valueEnd = Bytes->find('\0', keyEnd + 1);
            if (valueEnd == std::string::npos)
                break;
            if (Bytes->compare(at, keyEnd - at, key) == 0)
                return Bytes->substr(keyEnd + 1, valueEnd - keyEnd - 1);
            at = valueEnd + 1;
        }
        return TVersion::NoKey;
    }
};

} // namespace

void TVersion::ReadAll() {
    const TBlock block(FileName.empty() ? platform::ExecutablePath() : FileName);
    FileVersion = block.Text("FileVersion");
    Comments = block.Text("Comments");
    CompanyName = block.Text("CompanyName");
    FileDescription = block.Text("FileDescription");
    InternalName = block.Text("InternalName");
    LegalCopyright = block.Text("LegalCopyright");
    LegalTrademarks = block.Text("LegalTrademarks");
    OriginalFilename = block.Text("OriginalFilename");
    PrivateBuild = block.Text("PrivateBuild");
    ProductName = block.Text("ProductName");
    ProductVersion = block.Text("ProductVersion");
    SpecialBuild = block.Text("SpecialBuild");
}

std::string TVersion::QueryString(const std::string& path, const std::string& key) {
    return TBlock(path).Text(key);
}
