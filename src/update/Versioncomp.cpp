#include "update/Versioncomp.h"

void TVersionComp::SetFile(const std::string& fileName) {
    Version.FileName = fileName;
    Version.ReadAll();
}
