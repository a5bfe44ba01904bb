#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An HTTP server on 127.0.0.1 for the tests, on a thread of its own. Every connection gets the
// same reply; the requests are kept as they arrived.
class TLoopbackServer {
public:
    struct TReply {
        std::string Bytes;
        // Keep the connection open after sending, as a server that hangs would.
        bool Hang = false;
    };

    // onRequest runs on the server's thread as each request arrives, before the reply.
    explicit TLoopbackServer(TReply reply,
                             std::function<void(const std::string& request)> onRequest = {});
    ~TLoopbackServer();
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;

    // host:port, as PARVANE_UPDATE_SERVER takes it.
    std::string Address() const;
    std::vector<std::string> Requests() const;

    // A complete response with status line and body.
    static std::string Response(const std::string& status, const std::string& body,
                                const std::string& headers = "");
    // An address on which nothing listens, so a connection is refused.
    static std::string RefusingAddress();
    // The value of a request header, empty when missing.
    static std::string Header(const std::string& request, const std::string& name);

private:
    void Serve();

    TReply Reply;
    std::function<void(const std::string& request)> OnRequest;
    int Listener = -1;
    int Port = 0;
    std::atomic<bool> Stopping{false};
    mutable std::mutex Lock;
    std::vector<std::string> Received;
    std::thread Thread;
};
