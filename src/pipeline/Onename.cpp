#include "pipeline/Onename.h"

#include "pipeline/PathParts.h"
#include "platform/Files.h"

std::string TOneName::UniqueName(const std::set<std::string>& held) const {
    const std::string extension = pipeline::ExtensionPart(Path);
    const std::string stem = pipeline::StripExtension(Path) + "-";
    std::string result = Path;
    for (long n = 1; platform::FileExists(result) || held.contains(result); ++n)
        result = stem + std::to_string(n) + extension;
    return result;
}
