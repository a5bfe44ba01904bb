#include "update/version.h"

#include "platform/ExecutablePath.h"
#include "platform/Files.h"
#include "platform/VersionBlock.h"

#include <optional>
#include <utility>

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
    static constexpr std::pair<const char*, std::string TVersion::*> Fields[] = {
        {"FileVersion", &TVersion::FileVersion},
        {"Comments", &TVersion::Comments},
        {"CompanyName", &TVersion::CompanyName},
        {"FileDescription", &TVersion::FileDescription},
        {"InternalName", &TVersion::InternalName},
        {"LegalCopyright", &TVersion::LegalCopyright},
        {"LegalTrademarks", &TVersion::LegalTrademarks},
        {"OriginalFilename", &TVersion::OriginalFilename},
        {"PrivateBuild", &TVersion::PrivateBuild},
        {"ProductName", &TVersion::ProductName},
        {"ProductVersion", &TVersion::ProductVersion},
        {"SpecialBuild", &TVersion::SpecialBuild},
    };
    for (const auto& [key, field] : Fields)
        this->*field = block.Text(key);
}

std::string TVersion::QueryString(const std::string& path, const std::string& key) {
    return TBlock(path).Text(key);
}
