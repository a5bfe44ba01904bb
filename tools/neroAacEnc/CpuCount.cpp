#include "CpuCount.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <unistd.h>

namespace {

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The tightest quota on the way from this process's cgroup up to the root.
int CgroupQuota() {
    std::ifstream self("/proc/self/cgroup");
    std::string line;
    int best = 0;
    const auto take = [&best](int cpus) {
        if (cpus > 0 && (best == 0 || cpus < best))
            best = cpus;
    };
    while (std::getline(self, line)) {
        const auto first = line.find(':');
        const auto second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        for (;;) {
            if (controllers.empty()) {
                take(TCpuCount::FromQuota(ReadLine("/sys/fs/cgroup" + path + "/cpu.max")));
            } else if (("," + controllers + ",").find(",cpu,") != std::string::npos) {
                const std::string dir = "/sys/fs/cgroup/" + controllers + path;
                take(TCpuCount::FromQuota(ReadLine(dir + "/cpu.cfs_quota_us") + " " +
                                          ReadLine(dir + "/cpu.cfs_period_us")));
            }
            if (path.empty() || path == "/")
                break;
            path = path.substr(0, std::max<std::size_t>(path.rfind('/'), 1));
        }
    }
    return best;
}

} // namespace

int TCpuCount::FromQuota(const std::string& text) {
    std::istringstream in(text);
    std::string quota;
    long long period = 0;
    if (!(in >> quota >> period) || period <= 0 || quota == "max")
        return 0;
    long long value = 0;
    const char* end = quota.data() + quota.size();
    const auto [ptr, ec] = std::from_chars(quota.data(), end, value);
    if (ec != std::errc() || ptr != end || value <= 0)
        return 0;
    return static_cast<int>(std::min<long long>((value + period - 1) / period, 1 << 20));
}

int TCpuCount::Available() {
    int cpus = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
        cpus = CPU_COUNT(&set);
    if (cpus <= 0)
        cpus = static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    const int quota = CgroupQuota();
    return quota > 0 ? std::min(cpus, quota) : cpus;
}
