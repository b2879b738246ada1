// A scriptable HTTP peer for tests: listens on 127.0.0.1 at a random port, reads each
// request head and answers with whatever the test's handler returns, byte for byte.
// It stops by itself when the object goes away.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::test {

struct HttpRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;  // names in lower case
};

struct HttpReply {
    std::string bytes;  // sent as they are: status line, headers and body
    // Wait this long before answering (a slow server).
    std::chrono::milliseconds delay{0};
    // Send nothing and keep the connection open until the peer stops (a dead server).
    bool silent = false;
    // Send the bytes one at a time this far apart (a server that never lets a wait run out).
    std::chrono::milliseconds trickle{0};
};

// A well-formed reply with Content-Length and Connection: close. Statuses below 400 say OK.
// `extraHeaders` are whole header lines, each ending in CRLF.
HttpReply MakeReply(int status, const std::string& body,
                    const std::string& contentType = "text/xml",
                    const std::string& extraHeaders = "");

class HttpPeer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit HttpPeer(Handler handler);
    ~HttpPeer();
    HttpPeer(const HttpPeer&) = delete;
    HttpPeer& operator=(const HttpPeer&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Url(const std::string& pathAndQuery) const;
    std::vector<HttpRequest> Requests() const;

private:
    void Serve();
    void Answer(std::intptr_t connection);

    Handler m_handler;
    std::uint16_t m_port = 0;
    std::intptr_t m_listener;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<HttpRequest> m_requests;
    std::thread m_thread;
    std::vector<std::thread> m_connections;  // used by the serving thread only
};

}  // namespace tavrin::test
