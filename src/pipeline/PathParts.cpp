#include "pipeline/PathParts.h"

#include "platform/AsciiText.h"

namespace pipeline {

namespace {

std::size_t NameStart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::size_t ExtensionStart(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < NameStart(path) ? path.size() : dot;
}

} // namespace

std::string FileNamePart(const std::string& path) {
    return path.substr(NameStart(path));
}

std::string FolderPart(const std::string& path) {
    return path.substr(0, NameStart(path));
}

std::string ExtensionPart(const std::string& path) {
    return path.substr(ExtensionStart(path));
}

std::string LowerExtension(const std::string& path) {
    return platform::AsciiLower(ExtensionPart(path));
}

std::string StripExtension(const std::string& path) {
    return path.substr(0, ExtensionStart(path));
}

} // namespace pipeline
