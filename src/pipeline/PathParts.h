#pragma once

#include <string>

// Path pieces as the job sees them: the extension runs from the last '.' of the file name, so a
// dot in a folder name never counts.
namespace pipeline {

// Everything after the last '/'.
std::string FileNamePart(const std::string& path);
// Everything up to and including the last '/'; empty when there is none.
std::string FolderPart(const std::string& path);
// From the last '.' of the file name on, the dot included; empty when the name has none.
std::string ExtensionPart(const std::string& path);
// ExtensionPart in ASCII lower case, as kinds are told apart.
std::string LowerExtension(const std::string& path);
// The path without ExtensionPart.
std::string StripExtension(const std::string& path);

} // namespace pipeline
