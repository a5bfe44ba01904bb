#include "AvHelpers.h"

namespace avhelpers {

std::string VersionText(unsigned version) {
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
           std::to_string(version & 0xFF);
}

} // namespace avhelpers
