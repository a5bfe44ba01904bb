#include "update/VersionCheck.h"

#include "update/Http.h"
#include "update/WebServer.h"

namespace update {

namespace {
const char* const VersionFilePath = "/net/Parvane774275/Parvaneversion.TXT";
}

TPublishedVersion FetchPublishedVersion(const std::string& fileVersion,
                                        const std::string& productVersion) {
    THttp http;
    http.SetAgent("Parvane version check " + fileVersion);
    TPublishedVersion published;
    if (http.GetPage(WebAddress(VersionFilePath))) {
        http.SelectSection("version");
        published.FileVersion = http.GetValue("FileVersion");
        published.Kind = http.CompareVersions(fileVersion, productVersion);
    }
    return published;
}

} // namespace update
