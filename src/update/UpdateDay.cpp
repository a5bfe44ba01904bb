#include "update/UpdateDay.h"

namespace update {

bool CheckDue(const std::string& today, const std::string& lastChecked) {
    return today > lastChecked;
}

} // namespace update
