// A small HTTP server for the download tests, run on threads of the test process itself:
// it listens on 127.0.0.1 only, on a port the system picks, and cannot outlive the test
// that made it (its threads end with the test process, and stop() or the destructor ends
// them earlier). Each path answers in one of the ways a download can meet: a good body,
// an error page, a lie about the length, no length, a connection that breaks, a trickle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct HttpReply {
    int status = 200;
    std::shared_ptr<const std::string> body = std::make_shared<const std::string>();
    bool sendLength = true;            // a Content-Length header (of announcedLength when set)
    int64_t announcedLength = -1;      // -1: the body's size
    int64_t closeAfter = -1;           // close the connection after this many body bytes
    DWORD trickleDelayMs = 0;          // with a delay: trickleBytes, then a pause, ...
    size_t trickleBytes = 1;
};

HttpReply replyWith(std::string body, int status = 200);

class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;
    ~LoopbackHttpServer();

    bool listening() const;
    unsigned short port() const;
    // Answers GET path (other paths get a 404).
    void serve(const std::string& path, HttpReply reply);
    // The n-th request of the path gets the n-th reply, later ones the last.
    void serveInTurn(const std::string& path, std::vector<HttpReply> replies);
    // "http://127.0.0.1:<port><path>".
    std::string url(const std::string& path) const;
    // How often the path was asked for.
    int requests(const std::string& path) const;
    // Ends listening and every connection; waits for the threads.
    void stop();

    // What the server's threads share.
    struct State;

private:
    std::shared_ptr<State> state_;
};
