#pragma once

#include <functional>
#include <string>
#include <vector>

// The order in which dropped paths, and the files of the folders among them, reach the job: the
// sheets first, so that an image a sheet stands for is not taken again on its own, then every
// other file and folder, each folder's names in a file manager's order. The window and the
// console converter share it, so both see a library alike.
class TSourceWalk {
public:
    // A sheet, with the path it was found under (itself, or a folder given); the images its
    // tracks use come back, none when the sheet is refused.
    std::function<std::vector<std::string>(const std::string& sheet, const std::string& root)>
        OnSheet;
    // Any other file, with the path it was found under.
    std::function<void(const std::string& file, const std::string& root)> OnFile;
    // Also the folders inside a folder, before its files as a file manager shows them; a folder
    // reached twice (through a link) is walked once.
    bool Recursive = false;

    void Walk(const std::vector<std::string>& paths);

private:
    void WalkFolder(const std::string& folder, const std::string& root,
                    std::vector<std::string>& walked);
};
