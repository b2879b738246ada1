#include "support/http_peer.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "support/loopback_socket.h"

namespace tavrin::test {

namespace {

constexpr int kPollMs = 20;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

HttpRequest ParseHead(const std::string& head) {
    HttpRequest request;
    std::istringstream lines(head);
    std::string line;
    std::getline(lines, line);
    std::istringstream first(line);
    first >> request.method >> request.target;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headers[Lower(line.substr(0, colon))] = value;
    }
    return request;
}

}  // namespace

HttpReply MakeReply(int status, const std::string& body, const std::string& contentType,
                    const std::string& extraHeaders) {
    std::ostringstream out;
    out << "HTTP/1.1 " << status << (status < 400 ? " OK" : " Error") << "\r\n"
        << extraHeaders << "Content-Type: " << contentType << "\r\n"
        << "Content-Length: " << body.size() << "\r\n"
        << "Connection: close\r\n\r\n"
        << body;
    return HttpReply{out.str()};
}

HttpPeer::HttpPeer(Handler handler)
    : m_handler(std::move(handler)), m_listener(ListenOnLoopback(m_port)) {
    m_thread = std::thread([this] { Serve(); });
}

HttpPeer::~HttpPeer() {
    m_stop = true;
    m_thread.join();
    for (std::thread& connection : m_connections) {
        connection.join();
    }
    CloseSocket(m_listener);
}

std::string HttpPeer::Url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + pathAndQuery;
}

std::vector<HttpRequest> HttpPeer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void HttpPeer::Serve() {
    while (!m_stop) {
        if (!WaitReadable(m_listener, kPollMs)) {
            continue;
        }
        const SocketHandle connection = AcceptConnection(m_listener);
        if (connection != kNoSocket) {
            // One thread per connection: a browser opens spare connections that may never
            // carry a request, and they must not hold up the others.
            m_connections.emplace_back([this, connection] {
                Answer(connection);
                CloseSocket(connection);
            });
        }
    }
}

void HttpPeer::Answer(std::intptr_t connection) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && !m_stop) {
        if (!WaitReadable(connection, kPollMs)) {
            continue;
        }
        const long n = ReceiveSome(connection, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        head.append(buffer, static_cast<std::size_t>(n));
    }
    if (head.find("\r\n\r\n") == std::string::npos) {
        return;  // stopped before a whole request came (a browser's idle spare connection)
    }
    const HttpRequest request = ParseHead(head);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }
    const HttpReply reply = m_handler(request);
    const auto until = std::chrono::steady_clock::now() + reply.delay;
    while ((reply.silent || std::chrono::steady_clock::now() < until) && !m_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    if (reply.silent) {
        return;
    }
    if (reply.trickle.count() == 0) {
        SendAll(connection, reply.bytes);
        return;
    }
    for (std::size_t i = 0; i < reply.bytes.size() && !m_stop; ++i) {
        if (!SendAll(connection, reply.bytes.substr(i, 1))) {
            return;
        }
        std::this_thread::sleep_for(reply.trickle);
    }
}

}  // namespace tavrin::test
