#include "update/LoopbackServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int PollMs = 20;

int ListenOnLoopback(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, 16) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on the loopback interface");
    port = ntohs(address.sin_port);
    return fd;
}

bool Readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, PollMs) > 0;
}

} // namespace

TLoopbackServer::TLoopbackServer(TReply reply,
                                 std::function<void(const std::string& request)> onRequest)
    : Reply(std::move(reply)), OnRequest(std::move(onRequest)) {
    // A proxy from the environment would take the requests away from the loopback interface.
    for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"})
        unsetenv(name);
    Listener = ListenOnLoopback(Port);
    Thread = std::thread([this] { Serve(); });
}

TLoopbackServer::~TLoopbackServer() {
    Stopping = true;
    Thread.join();
    close(Listener);
}

std::string TLoopbackServer::Address() const {
    return "127.0.0.1:" + std::to_string(Port);
}

std::vector<std::string> TLoopbackServer::Requests() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Received;
}

void TLoopbackServer::Serve() {
    std::vector<int> hanging;
    while (!Stopping) {
        if (!Readable(Listener))
            continue;
        const int client = accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::string request;
        char buffer[4096];
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (request.find("\r\n\r\n") == std::string::npos && !Stopping &&
               std::chrono::steady_clock::now() < giveUp) {
            if (!Readable(client))
                continue;
            const ssize_t got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        {
            std::lock_guard<std::mutex> guard(Lock);
            Received.push_back(request);
        }
        if (OnRequest)
            OnRequest(request);
        // The client may stop reading half-way; a failed send only ends this reply.
        std::size_t sent = 0;
        while (sent < Reply.Bytes.size()) {
            const ssize_t done =
                send(client, Reply.Bytes.data() + sent, Reply.Bytes.size() - sent, MSG_NOSIGNAL);
            if (done <= 0)
                break;
            sent += static_cast<std::size_t>(done);
        }
        if (Reply.Hang)
            hanging.push_back(client);
        else
            close(client);
    }
    for (int fd : hanging)
        close(fd);
}

std::string TLoopbackServer::Response(const std::string& status, const std::string& body,
                                      const std::string& headers) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

std::string TLoopbackServer::RefusingAddress() {
    int port = 0;
    close(ListenOnLoopback(port));
    return "127.0.0.1:" + std::to_string(port);
}

std::string TLoopbackServer::Header(const std::string& request, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const std::size_t at = request.find(key);
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + key.size();
    return request.substr(start, request.find("\r\n", start) - start);
}
