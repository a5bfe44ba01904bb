#pragma once

#include "update/UpdateKind.h"

#include <string>

namespace update {

// What the maker's version file says of this program's versions.
struct TPublishedVersion {
    // An updatekind number; Unknown when the fetch failed.
    int Kind = updatekind::Unknown;
    // The file version the maker publishes.
    std::string FileVersion;
};

// Fetches the version file from the maker's web server and compares it with ours.
TPublishedVersion FetchPublishedVersion(const std::string& fileVersion,
                                        const std::string& productVersion);

} // namespace update
