#pragma once

#include <string>

// The twelve version texts of an executable's version block. A text that cannot be had is a
// marker instead: NoFile, NoBlock or NoKey.
class TVersion {
public:
    static constexpr const char* NoFile = "?.?";
    static constexpr const char* NoBlock = "0.0";
    static constexpr const char* NoKey = "!.!";

    std::string FileVersion, Comments, CompanyName, FileDescription, InternalName, LegalCopyright,
        LegalTrademarks, OriginalFilename, PrivateBuild, ProductName, ProductVersion, SpecialBuild;
    // Empty for the running program.
    std::string FileName;

    void ReadAll();
    // One text of the file's block, or a marker.
    static std::string QueryString(const std::string& path, const std::string& key);
};
