#pragma once

#include "update/version.h"

#include <string>

// The window's view of a version block: the running program's unless SetFile names another file.
class TVersionComp {
public:
    TVersionComp() { Version.ReadAll(); }

    const std::string& GetFileVersion() const { return Version.FileVersion; }
    const std::string& GetFileDescription() const { return Version.FileDescription; }
    const std::string& GetCompanyName() const { return Version.CompanyName; }
    const std::string& GetInternalName() const { return Version.InternalName; }
    const std::string& GetLegalCopyright() const { return Version.LegalCopyright; }
    const std::string& GetLegalTrademarks() const { return Version.LegalTrademarks; }
    const std::string& GetOriginalFilename() const { return Version.OriginalFilename; }
    const std::string& GetProductName() const { return Version.ProductName; }
    const std::string& GetProductVersion() const { return Version.ProductVersion; }
    const std::string& GetComments() const { return Version.Comments; }
    const std::string& GetPrivateBuild() const { return Version.PrivateBuild; }
    const std::string& GetSpecialBuild() const { return Version.SpecialBuild; }
    const std::string& GetFile() const { return Version.FileName; }

    void SetFile(const std::string& fileName);

private:
    TVersion Version;
};
