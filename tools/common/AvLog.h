#pragma once

#include <string>

// Libav reports some decoding problems only through its log and carries on. The tools keep that
// log off the terminal but count what it calls errors, so such a problem still fails the run.
class TAvLog {
public:
    static void Install();
    static int ErrorCount();
    // The first error message, without its line end; empty when there was none.
    static std::string FirstError();
    // reason, followed by libav's text for code when code is one of its errors.
    static std::string Reason(const std::string& reason, int code);
    // Reason, and the first logged error too when it tells more: a decoder's whole complaint.
    static std::string Failure(const std::string& reason, int code);
};
