#pragma once

#include <string>

// How many threads this process can keep busy: the processors it may run on, capped by a
// cgroup CPU quota where one is set (a container limited to two CPUs on a large host).
class TCpuCount {
public:
    static int Available();
    // The CPUs a quota grants, rounded up; 0 for none. Takes cgroup v2's cpu.max ("max 100000",
    // "150000 100000") or v1's quota and period in one line ("-1 100000").
    static int FromQuota(const std::string& text);
};
