#include "platform/LocalDay.h"

#include <chrono>

namespace platform {

int LocalDay(std::time_t moment) {
    using namespace std::chrono;
    std::tm local{};
    localtime_r(&moment, &local);
    const sys_days date = year(local.tm_year + 1900) / (local.tm_mon + 1) / local.tm_mday;
    const sys_days dayZero = year(1899) / December / 30;
    return static_cast<int>((date - dayZero).count());
}

int LocalDay() {
    return LocalDay(std::time(nullptr));
}

} // namespace platform
