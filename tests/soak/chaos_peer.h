// A misbehaving HTTP server for soaking the downloader: listens on 127.0.0.1 at a random
// port, serves every connection on a thread of its own, and answers each request by a seeded
// random choice among a good reply and many ways of going wrong (cut replies, resets,
// silence, server errors, redirect chains, broken headers, trickles, chunked bodies).
//
// Every choice is a function of the seed, the request's path and how often that path was
// asked for, so a download can be replayed from the seed alone. Each answered request is
// logged with what was done, for the caller to judge the client's result against it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

namespace tavrin::test {

enum class Chaos : int {
    Good,             // 200 with Content-Length and the body
    Unusual,          // a valid reply in an unusual form (case, blanks, empty reason, decoys)
    Trickle,          // a valid reply a byte every few milliseconds
    Chunked,          // a valid chunked body
    LongLine,         // a valid reply with one very long header line (under 256 KiB in all)
    BadDate,          // a valid reply with an unreadable Last-Modified
    DupLengthSame,    // Content-Length given twice with the same value
    TruncHeader,      // the header cut at a random byte, then closed
    TruncBody,        // the body cut at a random byte, then closed
    Reset,            // the connection reset (SO_LINGER 0) at a random byte
    SilentHeader,     // nothing more sent, for longer than the client waits
    SilentBody,       // the body stops for longer than the client waits
    ServerError,      // 500 or 503
    NotFound,         // 404
    Redirect,         // 301/302 hop of a chain, possibly looping to the same path
    Junk,             // binary junk where the header belongs
    NoStatus,         // a header without a usable status line
    HugeHeader,       // a header over 256 KiB
    BadChunk,         // a chunked body with a malformed chunk size or framing
    BadLength,        // negative, huge or non-numeric Content-Length
    DupLengthDiffer,  // Content-Length given twice with different values
    Count
};

const char* ChaosName(Chaos chaos);

// A 64-bit mixing step (splitmix64's finaliser): every random choice of the soak comes from
// it, so a seed replays the same run.
std::uint64_t Mix(std::uint64_t x);

struct ChaosOptions {
    std::uint64_t seed = 1;
    // How long a silent reply stays silent: longer than the client's time-outs, but it ends
    // (earlier when the client hangs up).
    int silenceMs = 1000;
    // The gap between two trickled bytes is 1 to this many milliseconds.
    int trickleMaxGapMs = 4;
    // A reply held up longer than this between two pieces is marked slow: set it well under
    // the client's time-out.
    int slowMs = 150;
};

// One request as the peer saw and answered it.
struct ServedRequest {
    std::uint64_t order = 0;  // accept order over the whole peer
    std::string path;         // the request target
    std::string resource;     // the target without its query: it decides the body
    bool requestOk = false;   // a GET with the peer's own Host
    Chaos chaos = Chaos::Good;
    std::string label;    // the kind of variant, without numbers
    std::string variant;  // what exactly was done, for the report
    // The client had hung up before anything was sent (it gave up waiting for the peer).
    bool abandoned = false;
    // A Content-Length: 0 reply with an empty body.
    bool emptyLength = false;
    // The reply stood still for longer than ChaosOptions::slowMs (the peer's thread was held
    // up): the client may have timed out on it.
    bool slow = false;
    std::string nextPath;     // where a redirect points (path and query)
    std::int64_t stamp = -1;  // a valid Last-Modified sent (seconds since 1970), else -1
    int sendMs = 0;           // from the accept to the last byte sent (or the stall)
};

class ChaosPeer {
public:
    explicit ChaosPeer(const ChaosOptions& options);
    ~ChaosPeer();
    ChaosPeer(const ChaosPeer&) = delete;
    ChaosPeer& operator=(const ChaosPeer&) = delete;

    bool Listening() const { return m_listener != kNoSocket; }
    std::uint16_t Port() const { return m_port; }
    std::string Url(const std::string& path) const;

    // Stops accepting, ends every connection (a silent one at once) and joins all threads.
    void Stop();

    // Waits until every connection made so far has been accepted and, if its path starts
    // with `prefix`, answered as far as the peer means to: a finished download's requests
    // are then all in the log. False after the time-out.
    bool WaitSettled(const std::string& prefix, int timeoutMs);
    // Takes the logged requests whose path starts with `prefix`, in accept order.
    std::vector<ServedRequest> Take(const std::string& prefix);

    // Connections that closed without a complete request.
    int IncompleteRequests() const;
    std::uint64_t Connections() const;
    int MaxConcurrent() const;

    // The body of a resource: its size (0 to 1 MiB) and bytes follow from the seed and the
    // resource alone.
    std::size_t BodySize(const std::string& resource) const;
    std::string Body(const std::string& resource) const;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> done;  // written under m_mutex
    };

    void Accept();
    void Reap(bool all);
    void Serve(SocketHandle connection, std::uint64_t order);
    bool ReadRequest(SocketHandle connection, std::string& head);
    // The choice for one request, made under the lock so chains and counts stay in step.
    Chaos Choose(const std::string& path, const std::string& resource, std::uint64_t& rngSeed,
                 int& hop, int& chainLength);
    void Settle(const std::string& path, ServedRequest* served);

    ChaosOptions m_options;
    SocketHandle m_listener = kNoSocket;
    SocketHandle m_stopWait = kNoSocket;  // MakeStopSignal's ends
    SocketHandle m_stopRaise = kNoSocket;
    std::uint16_t m_port = 0;
    std::thread m_acceptor;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopped = false;
    std::list<Worker> m_workers;
    int m_unread = 0;                      // accepted, request not yet read
    std::multiset<std::string> m_sending;  // paths of requests still being answered
    std::vector<ServedRequest> m_log;
    std::map<std::string, std::uint64_t> m_hits;         // requests per path
    std::map<std::string, std::pair<int, int>> m_chain;  // resource: hops left, chain length
    std::uint64_t m_accepted = 0;
    int m_incomplete = 0;
    int m_active = 0;
    int m_maxActive = 0;
};

}  // namespace tavrin::test
