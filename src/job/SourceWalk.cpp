#include "job/SourceWalk.h"

#include "pipeline/PathParts.h"
#include "platform/Files.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

bool IsSheet(const std::string& path) {
    return pipeline::LowerExtension(path) == ".cue";
}

// A name whose attributes cannot be read is taken for a folder and so yields nothing.
bool IsFolder(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    return ec || std::filesystem::is_directory(status);
}

} // namespace

void TSourceWalk::Walk(const std::vector<std::string>& paths) {
    std::set<std::string> images;
    for (const std::string& path : paths)
        if (!IsFolder(path) && IsSheet(path) && OnSheet)
            for (const std::string& image : OnSheet(path, path))
                images.insert(image);
    std::vector<std::string> walked;
    for (const std::string& path : paths) {
        if (IsFolder(path))
            WalkFolder(path.ends_with('/') ? path : path + '/', path, walked);
        else if (!IsSheet(path) && !images.count(path) && OnFile)
            OnFile(path, path);
    }
}

void TSourceWalk::WalkFolder(const std::string& folder, const std::string& root,
                             std::vector<std::string>& walked) {
    if (Recursive) {
        std::error_code ec;
        const std::string real = std::filesystem::canonical(folder, ec).string();
        if (ec || std::find(walked.begin(), walked.end(), real) != walked.end())
            return;
        walked.push_back(real);
        for (const std::string& name : platform::FolderFolderNames(folder))
            WalkFolder(folder + name + '/', root, walked);
    }
    const std::vector<std::string> names = platform::FolderFileNames(folder);
    std::set<std::string> images;
    for (const std::string& name : names)
        if (IsSheet(name) && OnSheet)
            for (const std::string& image : OnSheet(folder + name, root))
                images.insert(image);
    for (const std::string& name : names)
        if (!IsSheet(name) && !images.count(folder + name) && OnFile)
            OnFile(folder + name, root);
}
