#include "common/AvLog.h"

#include <cstdarg>
#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Libav's log callback carries no user pointer, so the record is necessarily per process.
int Errors = 0;
char First[256] = "";

void Capture(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR)
        return;
    if (Errors++ == 0) {
        std::vsnprintf(First, sizeof First, format, args);
        for (char* p = First; *p; ++p)
            if (*p == '\n' || *p == '\r')
                *p = '\0';
    }
}

} // namespace

void TAvLog::Install() {
    av_log_set_callback(Capture);
}

int TAvLog::ErrorCount() {
    return Errors;
}

std::string TAvLog::FirstError() {
    return First;
}
