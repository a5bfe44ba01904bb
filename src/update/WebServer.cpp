#include "update/WebServer.h"

#include <cstdlib>

namespace update {

namespace {

const char* const DefaultServer = "www.quillaby.example";

} // namespace

std::string WebServer() {
    const char* server = std::getenv("PARVANE_UPDATE_SERVER");
    return server && *server ? server : DefaultServer;
}

std::string WebAddress(const std::string& path) {
    return "http://" + WebServer() + path;
}

} // namespace update
