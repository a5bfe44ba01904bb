#pragma once

#include <string>

namespace update {

// The maker's web server (host[:port]): PARVANE_UPDATE_SERVER when set, so tests and self-hosters
// can point the program at their own server.
std::string WebServer();

// A plain HTTP address on that server; path starts with '/'.
std::string WebAddress(const std::string& path);

} // namespace update
