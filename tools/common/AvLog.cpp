#include "common/AvLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace {

// Libav's log callback carries no user pointer, so the record is necessarily per process; the
// encoder's worker threads log into it too.
std::mutex Lock;
int Errors = 0;
char First[256] = "";

void Capture(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR)
        return;
    std::lock_guard<std::mutex> guard(Lock);
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
    std::lock_guard<std::mutex> guard(Lock);
    return Errors;
}

std::string TAvLog::FirstError() {
    std::lock_guard<std::mutex> guard(Lock);
    return First;
}

std::string TAvLog::Reason(const std::string& reason, int code) {
    if (code >= 0)
        return reason;
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return reason + ": " + text;
}

std::string TAvLog::Failure(const std::string& reason, int code) {
    std::string text = Reason(reason, code);
    if (ErrorCount() > 0 && text.find(FirstError()) == std::string::npos)
        text += " (" + FirstError() + ")";
    return text;
}
