// Winsock before anything that includes windows.h.
#include <winsock2.h>

#include "testing/loopback_http_server.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

struct LoopbackHttpServer::State {
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::atomic<bool> stopping{false};
    mutable std::mutex lock;
    std::map<std::string, std::vector<HttpReply>> replies;
    std::map<std::string, int> counts;
    std::vector<SOCKET> open;
    std::vector<std::thread> threads;
};

namespace {

bool sendAll(SOCKET socket, const char* data, size_t length)
{
    while (length > 0) {
        const int sent = send(socket, data, static_cast<int>(std::min<size_t>(length, 1 << 20)), 0);
        if (sent <= 0)
            return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

// The request line's path; empty when the headers do not arrive (at most 64 KiB).
std::string readRequestPath(SOCKET socket)
{
    std::string request;
    char chunk[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const int got = recv(socket, chunk, sizeof chunk, 0);
        if (got <= 0)
            return std::string();
        request.append(chunk, static_cast<size_t>(got));
    }
    const size_t start = request.find(' ');
    const size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    return end == std::string::npos ? std::string() : request.substr(start + 1, end - start - 1);
}

void answer(LoopbackHttpServer::State& state, SOCKET socket)
{
    const std::string path = readRequestPath(socket);
    if (path.empty())
        return;
    HttpReply reply = replyWith("not found", 404);
    {
        std::lock_guard<std::mutex> guard(state.lock);
        const size_t turn = static_cast<size_t>(++state.counts[path]);
        if (const auto found = state.replies.find(path); found != state.replies.end() && !found->second.empty())
            reply = found->second[std::min(turn, found->second.size()) - 1];
    }
    const std::string& body = *reply.body;
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + (reply.status == 200 ? " OK" : " Error") +
                       "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n";
    if (reply.sendLength)
        head += "Content-Length: " +
                std::to_string(reply.announcedLength >= 0 ? reply.announcedLength : static_cast<int64_t>(body.size())) +
                "\r\n";
    head += "\r\n";
    if (!sendAll(socket, head.data(), head.size()))
        return;
    size_t limit = body.size();
    if (reply.closeAfter >= 0)
        limit = std::min(limit, static_cast<size_t>(reply.closeAfter));
    const size_t step = reply.trickleDelayMs ? std::max<size_t>(reply.trickleBytes, 1) : limit;
    for (size_t at = 0; at < limit && !state.stopping; at += step) {
        if (!sendAll(socket, body.data() + at, std::min(step, limit - at)))
            return;
        if (reply.trickleDelayMs)
            Sleep(reply.trickleDelayMs);
    }
}

void acceptLoop(std::shared_ptr<LoopbackHttpServer::State> state)
{
    for (;;) {
        SOCKET client = accept(state->listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return; // closed by stop()
        std::lock_guard<std::mutex> guard(state->lock);
        if (state->stopping) {
            closesocket(client);
            return;
        }
        state->open.push_back(client);
        state->threads.emplace_back([state, client] {
            answer(*state, client);
            shutdown(client, SD_SEND);
            std::lock_guard<std::mutex> guard(state->lock);
            const auto found = std::find(state->open.begin(), state->open.end(), client);
            if (found != state->open.end()) {
                state->open.erase(found);
                closesocket(client);
            }
        });
    }
}

} // namespace

HttpReply replyWith(std::string body, int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::make_shared<const std::string>(std::move(body));
    return reply;
}

LoopbackHttpServer::LoopbackHttpServer() : state_(std::make_shared<State>())
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;
    state_->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never beyond this machine
    address.sin_port = 0;
    int size = sizeof address;
    if (state_->listener == INVALID_SOCKET ||
        bind(state_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(state_->listener, SOMAXCONN) != 0 ||
        getsockname(state_->listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (state_->listener != INVALID_SOCKET)
            closesocket(state_->listener);
        state_->listener = INVALID_SOCKET;
        return;
    }
    state_->port = ntohs(address.sin_port);
    state_->threads.emplace_back(acceptLoop, state_);
}

LoopbackHttpServer::~LoopbackHttpServer() { stop(); }

bool LoopbackHttpServer::listening() const { return state_->port != 0 && !state_->stopping; }
unsigned short LoopbackHttpServer::port() const { return state_->port; }

void LoopbackHttpServer::serve(const std::string& path, HttpReply reply)
{
    serveInTurn(path, {std::move(reply)});
}

void LoopbackHttpServer::serveInTurn(const std::string& path, std::vector<HttpReply> replies)
{
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->replies[path] = std::move(replies);
}

std::string LoopbackHttpServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(state_->port) + path;
}

int LoopbackHttpServer::requests(const std::string& path) const
{
    std::lock_guard<std::mutex> guard(state_->lock);
    const auto found = state_->counts.find(path);
    return found == state_->counts.end() ? 0 : found->second;
}

void LoopbackHttpServer::stop()
{
    if (state_->stopping.exchange(true) || state_->listener == INVALID_SOCKET)
        return;
    closesocket(state_->listener);
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        for (SOCKET open : state_->open)
            shutdown(open, SD_BOTH); // wakes a thread blocked in recv or send
    }
    // Connection threads are added only under the lock and never after stopping is set, but
    // the accept thread may still be adding one: take the list until it stays empty.
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(state_->lock);
            threads.swap(state_->threads);
        }
        if (threads.empty())
            break;
        for (std::thread& thread : threads)
            thread.join();
        threads.clear();
    }
    WSACleanup();
}
