#include "soak/chaos_peer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <system_error>

namespace tavrin::test {

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestWaitMs = 3000;
constexpr std::size_t kMaxRequestBytes = 64 * 1024;
// A send blocked this long means the client neither reads nor hangs up: give up on it.
constexpr int kSendWaitMs = 10000;
constexpr std::size_t kMaxBody = 1024 * 1024;
constexpr int kMaxChain = 25;
// Last-Modified stamps between 1995 and 2030.
constexpr std::int64_t kFirstStamp = 788918400;
constexpr std::int64_t kLastStamp = 1893455999;

struct Weight {
    Chaos chaos;
    int weight;
};

// How often each behaviour is picked for a request that is not inside a redirect chain.
constexpr Weight kWeights[] = {
    {Chaos::Good, 23},         {Chaos::Unusual, 4},      {Chaos::Trickle, 3},
    {Chaos::Chunked, 7},       {Chaos::LongLine, 3},     {Chaos::BadDate, 3},
    {Chaos::DupLengthSame, 2}, {Chaos::TruncHeader, 4},  {Chaos::TruncBody, 5},
    {Chaos::Reset, 5},         {Chaos::SilentHeader, 3}, {Chaos::SilentBody, 3},
    {Chaos::ServerError, 5},   {Chaos::NotFound, 4},     {Chaos::Redirect, 8},
    {Chaos::Junk, 3},          {Chaos::NoStatus, 3},     {Chaos::HugeHeader, 2},
    {Chaos::BadChunk, 4},      {Chaos::BadLength, 4},    {Chaos::DupLengthDiffer, 2},
};

std::uint64_t Hash(const std::string& text, std::uint64_t seed) {
    std::uint64_t h = 0xCBF29CE484222325ull ^ Mix(seed);
    for (const unsigned char c : text) {
        h = (h ^ c) * 0x100000001B3ull;
    }
    return Mix(h);
}

class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        m_state += 0x9E3779B97F4A7C15ull;
        return Mix(m_state);
    }
    // Uniform in [lo, hi].
    std::uint64_t Between(std::uint64_t lo, std::uint64_t hi) {
        return lo + Next() % (hi - lo + 1);
    }
    int Int(int lo, int hi) {
        return static_cast<int>(Between(0, static_cast<std::uint64_t>(hi - lo))) + lo;
    }
    std::size_t Size(std::size_t lo, std::size_t hi) {
        return static_cast<std::size_t>(Between(lo, hi));
    }
    bool Percent(int p) { return Int(0, 99) < p; }

private:
    std::uint64_t m_state;
};

std::string HttpDate(std::int64_t stamp) {
    const std::time_t t = static_cast<std::time_t>(stamp);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

std::string Length(std::size_t n) {
    return "Content-Length: " + std::to_string(n) + "\r\n";
}

std::string Head(const std::string& status, const std::string& fields) {
    return "HTTP/1.1 " + status + "\r\n" + fields + "Connection: close\r\n\r\n";
}

// Bytes of every value but the blank, so no junk can pass for a status line.
std::string Junk(Rng& rng, std::size_t size) {
    std::string junk(size, '\0');
    for (char& c : junk) {
        c = static_cast<char>(rng.Int(0, 254));
        if (c == ' ') {
            c = '\xff';
        }
    }
    return junk;
}

std::string Letters(Rng& rng, std::size_t size) {
    std::string text(size, 'a');
    for (char& c : text) {
        c = static_cast<char>('a' + rng.Int(0, 25));
    }
    return text;
}

std::string ChunkLine(Rng& rng, std::size_t size) {
    char hex[32];
    std::snprintf(hex, sizeof hex, rng.Percent(50) ? "%zx" : "%zX", size);
    std::string line = rng.Percent(10) ? "00" + std::string(hex) : hex;
    if (rng.Percent(15)) {
        line += rng.Percent(50) ? ";name=value" : " ;x";
    }
    return line + "\r\n";
}

// A valid chunked encoding of the body: small, mixed or large chunks, now and then with
// extensions and a trailer.
std::string Chunks(Rng& rng, const std::string& body, std::string& note) {
    const int style = rng.Int(0, 2);
    std::string out;
    std::size_t at = 0;
    int count = 0;
    while (at < body.size()) {
        std::size_t n = style == 0   ? rng.Size(1, 64)
                        : style == 1 ? rng.Size(1, 8192)
                                     : rng.Size(4096, 100000);
        n = std::min(n, body.size() - at);
        out += ChunkLine(rng, n);
        out.append(body, at, n);
        out += "\r\n";
        at += n;
        ++count;
    }
    out += rng.Percent(10) ? "0;last\r\n" : "0\r\n";
    if (rng.Percent(20)) {
        out += "X-Checksum: none\r\nExpires: 0\r\n";
        note += " with a trailer";
    }
    out += "\r\n";
    note += ", " + std::to_string(count) + " chunks";
    return out;
}

struct Plan {
    std::string bytes;
    std::size_t send = std::string::npos;  // bytes sent before the end; all when npos
    std::size_t trickle = 0;               // leading bytes sent one at a time
    int gapMs = 0;
    enum class End { Close, Reset, Stall } end = End::Close;
};

struct Answer {
    Plan plan;
    std::string label;  // the kind of variant, without numbers
    std::string variant;
    std::string nextPath;
    std::int64_t stamp = -1;
    bool emptyLength = false;
    std::size_t headSize = 0;  // where the body starts in plan.bytes
};

struct Context {
    std::string path;
    std::string dir;   // the path's folder, without the trailing slash
    std::string name;  // the last part of the resource
    std::string host;  // 127.0.0.1:port
    const std::string* body;
    int hop = 0;
    int chainLength = 0;
    int trickleMaxGapMs = 4;
};

// A good reply with Content-Length, Last-Modified now and then.
Answer GoodReply(Rng& rng, const std::string& body, const std::string& note) {
    Answer a;
    std::string fields = "Content-Type: application/octet-stream\r\n" + Length(body.size());
    if (rng.Percent(70)) {
        a.stamp = static_cast<std::int64_t>(rng.Between(kFirstStamp, kLastStamp));
        fields += "Last-Modified: " + HttpDate(a.stamp) + "\r\n";
    }
    a.plan.bytes = Head("200 OK", fields);
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += body;
    a.emptyLength = body.empty();
    a.label = a.stamp >= 0 ? "with Last-Modified" : "without Last-Modified";
    a.variant = note + std::to_string(body.size()) + " bytes";
    return a;
}

Answer ChunkedReply(Rng& rng, const std::string& body, bool strayLength) {
    Answer a;
    std::string note = "chunked";
    const std::string chunks = Chunks(rng, body, note);
    std::string fields = "Transfer-Encoding: chunked\r\n";
    if (strayLength) {
        // A client that believed the length would keep the chunk framing in the file.
        fields = rng.Percent(50) ? Length(chunks.size()) + fields : fields + Length(chunks.size());
        note += ", a stray Content-Length";
    }
    if (rng.Percent(50)) {
        a.stamp = static_cast<std::int64_t>(rng.Between(kFirstStamp, kLastStamp));
        fields += "Last-Modified: " + HttpDate(a.stamp) + "\r\n";
    }
    a.plan.bytes = Head("200 OK", fields);
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += chunks;
    a.label = strayLength ? "a stray Content-Length" : "plain";
    a.variant = note + ", " + std::to_string(body.size()) + " bytes";
    return a;
}

// A good reply of either framing, to be cut, reset or stalled somewhere.
Answer FramedReply(Rng& rng, const std::string& body) {
    Answer a =
        body.empty() || rng.Percent(30) ? ChunkedReply(rng, body, false) : GoodReply(rng, body, "");
    a.label = a.plan.bytes.find("chunked") < a.headSize ? "chunked" : "with a length";
    return a;
}

Answer Unusual(Rng& rng, const std::string& body) {
    Answer a;
    a.stamp = static_cast<std::int64_t>(rng.Between(kFirstStamp, kLastStamp));
    const std::string date = HttpDate(a.stamp);
    const std::string size = std::to_string(body.size());
    const std::string lm = "Last-Modified: " + date + "\r\n";
    std::string head;
    switch (rng.Int(0, 8)) {
        case 0:
            a.variant = "empty reason phrase";
            head = "HTTP/1.1 200 \r\n" + Length(body.size()) + lm + "Connection: close\r\n\r\n";
            break;
        case 1:
            a.variant = "HTTP/1.0";
            head = "HTTP/1.0 200 OK\r\n" + Length(body.size()) + lm + "\r\n";
            break;
        case 2:
            a.variant = "lower-case names";
            head = "HTTP/1.1 200 OK\r\ncontent-length: " + size + "\r\nlast-modified: " + date +
                   "\r\nconnection: close\r\n\r\n";
            break;
        case 3:
            a.variant = "upper-case names";
            head = "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: " + size + "\r\nLAST-MODIFIED: " + date +
                   "\r\nCONNECTION: close\r\n\r\n";
            break;
        case 4:
            a.variant = "blanks around values";
            head = Head("200 OK", "Content-Length: \t  " + size +
                                      " \t\r\nLast-Modified:   " + date + "  \r\n");
            break;
        case 5:
            a.variant = "no blank after the colons";
            head = Head("200 OK", "Content-Length:" + size + "\r\nLast-Modified:" + date + "\r\n");
            break;
        case 6: {
            // A longer decoy only starves the body; a shorter one would cut it.
            const std::size_t decoy =
                rng.Percent(50) ? body.size() + rng.Size(1, 5000) : rng.Size(0, body.size());
            a.label = decoy > body.size() ? "a longer X-Content-Length first"
                                          : "a shorter X-Content-Length first";
            a.variant = "X-Content-Length: " + std::to_string(decoy) + " first";
            head = Head("200 OK", "X-Content-Length: " + std::to_string(decoy) + "\r\n" +
                                      Length(body.size()) + lm);
            break;
        }
        case 7: {
            const std::string other =
                HttpDate(static_cast<std::int64_t>(rng.Between(kFirstStamp, kLastStamp)));
            a.variant = "X-Last-Modified first";
            head = Head("200 OK", "X-Last-Modified: " + other + "\r\n" + Length(body.size()) + lm);
            break;
        }
        default:
            a.variant = "many fields";
            head = Head("200 OK", "Server: chaos/1.0\r\nDate: " + date +
                                      "\r\nETag: \"5e1f-2b\"\r\nSet-Cookie: a=b; Path=/\r\n"
                                      "Set-Cookie: c=d\r\nCache-Control: private, max-age=0\r\n"
                                      "Vary: Accept-Encoding\r\nAccept-Ranges: bytes\r\n" +
                                      Length(body.size()) + lm + "X-Frame-Options: DENY\r\n");
            break;
    }
    a.plan.bytes = head;
    a.headSize = head.size();
    a.plan.bytes += body;
    a.emptyLength = body.empty();
    if (a.label.empty()) {
        a.label = a.variant;
    }
    a.variant += ", " + size + " bytes";
    return a;
}

Answer LongLine(Rng& rng, const std::string& body) {
    Answer a;
    std::string head;
    switch (rng.Int(0, 2)) {
        case 0: {
            const std::size_t n = rng.Size(2000, 60000);
            a.label = "a long reason phrase";
            a.variant = "reason phrase of " + std::to_string(n);
            head = "HTTP/1.1 200 " + std::string(n, 'O') + "\r\n" + Length(body.size()) +
                   "Connection: close\r\n\r\n";
            break;
        }
        case 1: {
            const std::size_t n = rng.Size(2000, 200000);
            a.label = "a long field";
            a.variant = "field of " + std::to_string(n);
            head = Head("200 OK", "X-Padding: " + Letters(rng, n) + "\r\n" + Length(body.size()));
            break;
        }
        default: {
            const std::size_t n = rng.Size(2000, 100000);
            a.label = "a long cookie after the length";
            a.variant = "cookie of " + std::to_string(n) + " after the length";
            head = Head("200 OK",
                        Length(body.size()) + "Set-Cookie: s=" + Letters(rng, n) + "; Path=/\r\n");
            break;
        }
    }
    a.plan.bytes = head;
    a.headSize = head.size();
    a.plan.bytes += body;
    a.emptyLength = body.empty();
    a.variant += ", " + std::to_string(body.size()) + " bytes";
    return a;
}

Answer BadDate(Rng& rng, const std::string& body) {
    static const char* const kDates[] = {
        "yesterday, around noon",
        "",
        "Wed, 21 Foo 2015 07:28:00 GMT",
        "Wed, 99 Oct 2015 07:28:00 GMT",
        "Wed, 21 Oct 2015 25:61:99 GMT",
        "Wed, 21 Oct 99999 07:28:00 GMT",
        "Wed, 21 Oct 2015",
        "-1",
        "Thu,",
    };
    constexpr int kListed = static_cast<int>(std::size(kDates));
    const int pick = rng.Int(0, kListed + 1);
    std::string date;
    if (pick < kListed) {
        date = kDates[pick];
    } else if (pick == kListed) {
        date = Junk(rng, 40);
        std::replace(date.begin(), date.end(), '\r', 'r');
        std::replace(date.begin(), date.end(), '\n', 'n');
    } else {
        date = "Wed, " + std::string(3000, '1');
    }
    Answer a;
    a.plan.bytes = Head("200 OK", Length(body.size()) + "Last-Modified: " + date + "\r\n");
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += body;
    a.emptyLength = body.empty();
    a.label = "Last-Modified '" +
              (pick < kListed    ? date
               : pick == kListed ? "junk"
                                 : "Wed, 1111...") +
              "'";
    a.variant = a.label + ", " + std::to_string(body.size()) + " bytes";
    return a;
}

Answer Redirect(Rng& rng, const Context& c) {
    Answer a;
    const std::string query = "?hop=" + std::to_string(c.hop);
    const std::string target = c.dir + "/" + c.name + query;
    const std::size_t cut = c.dir.rfind('/');
    const std::string parent = c.dir.substr(0, cut);
    const std::string last = c.dir.substr(cut + 1);
    std::string location;
    std::string form;
    a.nextPath = target;
    switch (rng.Int(0, 5)) {
        case 0:
            location = "http://" + c.host + target;
            form = "absolute URL";
            break;
        case 1:
            location = "HTTP://" + c.host + target;
            form = "absolute URL in capitals";
            break;
        case 2:
            location = target;
            form = "absolute path";
            break;
        case 3:
            location = c.name + query;
            form = "relative";
            break;
        case 4:
            location = "../" + last + "/" + c.name + query;
            form = "relative with ../";
            break;
        default:
            location = c.path;
            a.nextPath = c.path;
            form = "the same path";
            break;
    }
    const bool moved = rng.Percent(50);
    std::string fields;
    // Content-Location names the body's own address, not where to go.
    const bool decoy = rng.Percent(3);
    a.label = decoy ? "Content-Location first" : "plain";
    if (decoy) {
        fields += "Content-Location: " + parent + "/elsewhere/" + c.name + "\r\n";
    }
    const std::string note = "<a href=\"" + location + "\">moved</a>";
    fields += "Location: " + location + "\r\n" + Length(note.size());
    a.plan.bytes = Head(moved ? "301 Moved Permanently" : "302 Found", fields);
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += note;
    a.variant = std::string(moved ? "301 " : "302 ") + form +
                (decoy ? ", Content-Location first" : "") + ", hop " + std::to_string(c.hop) +
                " of " + std::to_string(c.chainLength);
    return a;
}

Answer NoStatus(Rng& rng, const std::string& body) {
    static const char* const kFirst[] = {"", "HTTP/1.1\r\n", "\r\nHTTP/1.1 200 OK\r\n",
                                         "HTTP/1.1 OK\r\n", "HTTP/1.1 OK Fine\r\n"};
    static const char* const kNames[] = {"fields first", "version alone", "a blank line first",
                                         "no code", "a word for the code"};
    const int pick = rng.Int(0, 4);
    Answer a;
    a.plan.bytes = std::string(kFirst[pick]) + Length(body.size()) + "Connection: close\r\n\r\n";
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += body;
    a.label = kNames[pick];
    a.variant = a.label + ", " + std::to_string(body.size()) + " bytes";
    return a;
}

Answer HugeHeader(Rng& rng, const std::string& body) {
    Answer a;
    std::string fields;
    if (rng.Percent(50)) {
        const std::size_t total = rng.Size(260 * 1024, 400 * 1024);
        int n = 0;
        while (fields.size() < total) {
            fields += "X-Filler-" + std::to_string(n++) + ": " + std::string(1000, 'f') + "\r\n";
        }
        a.label = "many fields";
        a.variant = std::to_string(n) + " fields";
    } else {
        fields = "X-Endless: " + Letters(rng, 300 * 1024) + "\r\n";
        a.label = "one long line";
        a.variant = "one line of 300 KiB";
    }
    a.plan.bytes = Head("200 OK", Length(body.size()) + fields);
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += body;
    a.variant += ", " + std::to_string(a.headSize) + " header bytes";
    return a;
}

Answer BadChunk(Rng& rng, const std::string& body) {
    static const char* const kSizes[] = {"zz", "-5", "fffffffff", "5x", "", " 5", "0x5", "+5"};
    Answer a;
    std::string chunks;
    std::size_t at = 0;
    const int good = rng.Int(0, 2);
    for (int i = 0; i < good && at < body.size(); ++i) {
        const std::size_t n = std::min(rng.Size(1, 5000), body.size() - at);
        chunks += ChunkLine(rng, n);
        chunks.append(body, at, n);
        chunks += "\r\n";
        at += n;
    }
    const int pick = rng.Int(0, 8);
    if (pick < 8) {
        chunks += std::string(kSizes[pick]) + "\r\nhello\r\n";
        a.variant = std::string("size '") + kSizes[pick] + "'";
    } else {
        chunks += "3\r\nabcdef\r\n";
        a.variant = "data longer than its size";
    }
    chunks += "0\r\n\r\n";
    a.plan.bytes = Head("200 OK", "Transfer-Encoding: chunked\r\n");
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += chunks;
    a.label = a.variant;
    a.variant += " after " + std::to_string(good) + " good chunks";
    return a;
}

Answer BadLength(Rng& rng, const std::string& body) {
    const std::string size = std::to_string(body.size());
    std::string value;
    Answer a;
    switch (rng.Int(0, 7)) {
        case 0:
            value = "-1";
            break;
        case 1:
            value = "-" + size;
            a.label = "minus the length";
            break;
        case 2:
            value = "4294967296";
            break;
        case 3:
            value = "99999999999999999999999";
            break;
        case 4:
            value = "abc";
            break;
        case 5:
            value = "";
            break;
        case 6:
            // The real length with a letter inside: a client reading the digits up to the
            // letter takes a prefix of it.
            value = size.size() > 1 ? size.substr(0, 1) + "x" + size.substr(1) : size + "x";
            a.label = "the length with a letter inside";
            break;
        default:
            value = "0x" + size;
            a.label = "0x and the length";
            break;
    }
    if (a.label.empty()) {
        a.label = "Content-Length '" + value + "'";
    }
    a.plan.bytes = Head("200 OK", "Content-Length: " + value + "\r\n");
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += body;
    a.variant = "Content-Length '" + value + "', " + size + " bytes";
    return a;
}

Answer DupLength(Rng& rng, const std::string& body, bool same) {
    Answer a;
    const std::size_t size = body.size();
    std::string fields;
    if (same) {
        if (rng.Percent(50)) {
            fields = Length(size) + "Content-Type: application/octet-stream\r\n" + Length(size);
            a.label = a.variant = "the same length twice";
        } else {
            fields =
                "Content-Length: " + std::to_string(size) + ", " + std::to_string(size) + "\r\n";
            a.label = a.variant = "the same length listed twice";
        }
        a.emptyLength = size == 0;
    } else {
        std::size_t other = size;
        while (other == size) {
            other = rng.Percent(50) ? rng.Size(0, size + 100) : size + rng.Size(1, 100000);
        }
        const bool otherFirst = rng.Percent(50);
        a.label = (otherFirst ? other : size) < (otherFirst ? size : other) ? "the smaller first"
                                                                            : "the larger first";
        fields = otherFirst ? Length(other) + Length(size) : Length(size) + Length(other);
        a.variant = "lengths " + std::to_string(otherFirst ? other : size) + " then " +
                    std::to_string(otherFirst ? size : other);
    }
    a.plan.bytes = Head("200 OK", fields);
    a.headSize = a.plan.bytes.size();
    a.plan.bytes += body;
    a.variant += ", " + std::to_string(size) + " bytes";
    return a;
}

Answer Build(Chaos chaos, Rng& rng, const Context& c) {
    const std::string& body = *c.body;
    Answer a;
    switch (chaos) {
        case Chaos::Good:
            return GoodReply(rng, body, "");
        case Chaos::Unusual:
            return Unusual(rng, body);
        case Chaos::Trickle: {
            a = GoodReply(rng, body, "");
            a.plan.trickle = std::min(a.plan.bytes.size(), a.headSize + 200);
            a.plan.gapMs = rng.Int(1, c.trickleMaxGapMs);
            a.label = "a byte at a time";
            a.variant = std::to_string(a.plan.trickle) + " bytes " + std::to_string(a.plan.gapMs) +
                        " ms apart, " + a.variant;
            return a;
        }
        case Chaos::Chunked:
            return ChunkedReply(rng, body, rng.Percent(15));
        case Chaos::LongLine:
            return LongLine(rng, body);
        case Chaos::BadDate:
            return BadDate(rng, body);
        case Chaos::DupLengthSame:
            return DupLength(rng, body, true);
        case Chaos::DupLengthDiffer:
            return DupLength(rng, body, false);
        case Chaos::TruncHeader:
        case Chaos::SilentHeader: {
            a = FramedReply(rng, body);
            const bool silent = chaos == Chaos::SilentHeader;
            a.plan.send = silent && rng.Percent(50) ? 0 : rng.Size(0, a.headSize - 1);
            a.plan.end = silent ? Plan::End::Stall : Plan::End::Close;
            a.variant = "after " + std::to_string(a.plan.send) + " of " +
                        std::to_string(a.headSize) + " header bytes (" + a.variant + ")";
            a.emptyLength = false;
            return a;
        }
        case Chaos::TruncBody:
        case Chaos::SilentBody: {
            a = FramedReply(rng, body);
            a.plan.send = rng.Size(a.headSize, a.plan.bytes.size() - 1);
            a.plan.end = chaos == Chaos::SilentBody ? Plan::End::Stall : Plan::End::Close;
            a.variant = "after " + std::to_string(a.plan.send - a.headSize) + " of " +
                        std::to_string(a.plan.bytes.size() - a.headSize) + " body bytes (" +
                        a.variant + ")";
            a.emptyLength = false;
            return a;
        }
        case Chaos::Reset: {
            a = FramedReply(rng, body);
            a.plan.send = rng.Size(0, a.plan.bytes.size() - 1);
            a.plan.end = Plan::End::Reset;
            a.variant = "after " + std::to_string(a.plan.send) + " of " +
                        std::to_string(a.plan.bytes.size()) + " bytes (" + a.variant + ")";
            a.emptyLength = false;
            return a;
        }
        case Chaos::ServerError: {
            const bool busy = rng.Percent(50);
            const std::string note = "<html>try again later</html>";
            a.plan.bytes = Head(busy ? "503 Service Unavailable" : "500 Internal Server Error",
                                (busy ? "Retry-After: 1\r\n" : "") + Length(note.size())) +
                           note;
            a.label = a.variant = busy ? "503" : "500";
            return a;
        }
        case Chaos::NotFound: {
            const std::string note = "<html>no such file</html>";
            a.plan.bytes = Head("404 Not Found", Length(note.size())) + note;
            a.label = a.variant = "404";
            return a;
        }
        case Chaos::Redirect:
            return Redirect(rng, c);
        case Chaos::Junk: {
            const std::size_t n = rng.Size(1, 8192);
            a.plan.bytes = Junk(rng, n) + "\r\n\r\n" + body;
            a.label = "junk";
            a.variant = std::to_string(n) + " junk bytes";
            return a;
        }
        case Chaos::NoStatus:
            return NoStatus(rng, body);
        case Chaos::HugeHeader:
            return HugeHeader(rng, body);
        case Chaos::BadChunk:
            return BadChunk(rng, body);
        case Chaos::BadLength:
            return BadLength(rng, body);
        case Chaos::Count:
            break;
    }
    return a;
}

// The longest time the reply stood still between two pieces: on a busy machine the peer's
// own thread can be held up past the client's time-out.
struct Progress {
    Clock::time_point last;
    Clock::duration longestGap{};
    void Moved() {
        const auto now = Clock::now();
        longestGap = std::max(longestGap, now - last);
        last = now;
    }
};

bool SendBytes(SocketHandle connection, const char* data, std::size_t size, SocketHandle stop,
               Progress& progress) {
    while (size > 0) {
        const long n = SendSome(connection, data, size);
        if (n > 0) {
            progress.Moved();
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if ((n < 0 && !WouldBlock()) ||
            WaitFor(connection, Await::Writable, stop, kSendWaitMs) != Waited::Ready) {
            return false;
        }
    }
    return true;
}

std::string HeaderValue(const std::string& head, const std::string& lowerName) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t at = lower.find("\r\n" + lowerName + ":");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t from = at + 3 + lowerName.size();
    std::string value = head.substr(from, head.find("\r\n", from) - from);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of(' ') + 1);
    return value;
}

}  // namespace

const char* ChaosName(Chaos chaos) {
    static const char* const kNames[] = {
        "good",         "unusual",      "trickle",       "chunked", "long-line",     "bad-date",
        "dup-len-same", "trunc-header", "trunc-body",    "reset",   "silent-header", "silent-body",
        "server-error", "not-found",    "redirect",      "junk",    "no-status",     "huge-header",
        "bad-chunk",    "bad-length",   "dup-len-differ"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(Chaos::Count));
    const auto i = static_cast<std::size_t>(chaos);
    return i < std::size(kNames) ? kNames[i] : "?";
}

ChaosPeer::ChaosPeer(const ChaosOptions& options) : m_options(options) {
    if (MakeStopSignal(m_stopWait, m_stopRaise)) {
        m_listener = ListenOnLoopback(m_port, 128);
    }
    if (m_listener != kNoSocket) {
        m_acceptor = std::thread([this] { Accept(); });
    }
}

ChaosPeer::~ChaosPeer() {
    Stop();
}

std::string ChaosPeer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void ChaosPeer::Stop() {
    if (m_stopRaise != kNoSocket) {
        RaiseStop(m_stopRaise);
    }
    if (m_acceptor.joinable()) {
        m_acceptor.join();
    }
    for (SocketHandle* s : {&m_listener, &m_stopWait, &m_stopRaise}) {
        CloseSocket(*s);
        *s = kNoSocket;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = true;
    m_changed.notify_all();
}

void ChaosPeer::Accept() {
    for (;;) {
        const Waited waited = WaitFor(m_listener, Await::Readable, m_stopWait, 100);
        Reap(false);
        if (waited == Waited::Stopped) {
            break;
        }
        if (waited == Waited::TimedOut) {
            continue;
        }
        for (;;) {
            const SocketHandle connection = AcceptConnection(m_listener, Blocking::No);
            if (connection == kNoSocket) {
                break;
            }
            auto done = std::make_shared<bool>(false);
            std::uint64_t order = 0;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                order = ++m_accepted;
                ++m_unread;
                m_maxActive = std::max(m_maxActive, ++m_active);
            }
            try {
                m_workers.push_back({std::thread([this, connection, order, done] {
                                         Serve(connection, order);
                                         std::lock_guard<std::mutex> lock(m_mutex);
                                         *done = true;
                                         --m_active;
                                     }),
                                     done});
            } catch (const std::system_error&) {
                CloseSocket(connection);
                std::lock_guard<std::mutex> lock(m_mutex);
                --m_unread;
                --m_active;
                ++m_incomplete;
                m_changed.notify_all();
            }
        }
    }
    Reap(true);
}

void ChaosPeer::Reap(bool all) {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        bool done = all;
        if (!done) {
            std::lock_guard<std::mutex> lock(m_mutex);
            done = *it->done;
        }
        if (done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

bool ChaosPeer::ReadRequest(SocketHandle connection, std::string& head) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kRequestWaitMs);
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxRequestBytes) {
            return false;
        }
        const long n = ReceiveSome(connection, buffer, sizeof buffer);
        if (n > 0) {
            head.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || !WouldBlock()) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || WaitFor(connection, Await::Readable, m_stopWait, static_cast<int>(left)) !=
                             Waited::Ready) {
            return false;
        }
    }
    return true;
}

Chaos ChaosPeer::Choose(const std::string& path, const std::string& resource,
                        std::uint64_t& rngSeed, int& hop, int& chainLength) {
    const std::uint64_t hits = m_hits[path]++;
    rngSeed = Mix(Hash(path, m_options.seed) + hits);
    auto chain = m_chain.find(resource);
    if (chain != m_chain.end() && chain->second.first > 0) {
        --chain->second.first;
        chainLength = chain->second.second;
        hop = chainLength - chain->second.first;
        return Chaos::Redirect;
    }
    Rng rng(rngSeed ^ 0x5EED);
    int total = 0;
    for (const Weight& w : kWeights) {
        total += w.weight;
    }
    int pick = rng.Int(0, total - 1);
    Chaos chaos = Chaos::Good;
    for (const Weight& w : kWeights) {
        if (pick < w.weight) {
            chaos = w.chaos;
            break;
        }
        pick -= w.weight;
    }
    if (chaos == Chaos::Redirect) {
        chainLength = rng.Int(1, kMaxChain);
        hop = 1;
        m_chain[resource] = {chainLength - 1, chainLength};
    }
    return chaos;
}

void ChaosPeer::Serve(SocketHandle connection, std::uint64_t order) {
    const auto start = Clock::now();
    std::string head;
    if (!ReadRequest(connection, head)) {
        CloseSocket(connection);
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_unread;
        ++m_incomplete;
        m_changed.notify_all();
        return;
    }
    ServedRequest served;
    served.order = order;
    const std::size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const std::size_t blank = line.find(' ');
    const std::size_t blank2 = blank == std::string::npos ? blank : line.find(' ', blank + 1);
    if (blank2 != std::string::npos) {
        served.path = line.substr(blank + 1, blank2 - blank - 1);
    }
    served.resource = served.path.substr(0, served.path.find('?'));
    served.requestOk = line.compare(0, blank, "GET") == 0 && blank2 != std::string::npos &&
                       line.substr(blank2 + 1) == "HTTP/1.1" && !served.path.empty() &&
                       served.path[0] == '/' &&
                       HeaderValue(head, "host") == "127.0.0.1:" + std::to_string(m_port);
    std::uint64_t rngSeed = 0;
    Context context;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_unread;
        served.chaos =
            Choose(served.path, served.resource, rngSeed, context.hop, context.chainLength);
        m_sending.insert(served.path);
    }
    const std::string body = Body(served.resource);
    const std::size_t slash = served.resource.rfind('/');
    context.path = served.path;
    context.dir = slash == std::string::npos ? "" : served.resource.substr(0, slash);
    context.name = slash == std::string::npos ? served.resource : served.resource.substr(slash + 1);
    context.host = "127.0.0.1:" + std::to_string(m_port);
    context.body = &body;
    context.trickleMaxGapMs = std::max(1, m_options.trickleMaxGapMs);
    Rng rng(rngSeed);
    const Answer answer = Build(served.chaos, rng, context);
    served.label = answer.label;
    served.variant = answer.variant;
    served.nextPath = answer.nextPath;
    served.stamp = answer.stamp;
    served.emptyLength = answer.emptyLength;
    const Plan& plan = answer.plan;
    // Has the client hung up already (it gave up waiting for the peer)?
    if (PeerGone(connection)) {
        served.abandoned = true;
        Settle(served.path, &served);
        CloseSocket(connection);
        return;
    }
    const std::size_t total = std::min(plan.send, plan.bytes.size());
    const std::size_t trickle = std::min(plan.trickle, total);
    // From the accept: the client started waiting when it had sent its request.
    Progress progress{start};
    bool sent = true;
    for (std::size_t at = 0; at < trickle && sent; ++at) {
        // The pause ends early when the peer stops.
        sent = SendBytes(connection, plan.bytes.data() + at, 1, m_stopWait, progress) &&
               !WaitReadable(m_stopWait, plan.gapMs);
    }
    if (sent) {
        SendBytes(connection, plan.bytes.data() + trickle, total - trickle, m_stopWait, progress);
    }
    if (total > 0) {
        served.slow = progress.longestGap > std::chrono::milliseconds(m_options.slowMs);
    }
    served.sendMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    Settle(served.path, &served);
    if (plan.end == Plan::End::Reset) {
        ResetConnection(connection);
        return;
    }
    if (plan.end == Plan::End::Stall) {
        // Silent until the time is up, the client hangs up or the peer stops.
        WaitFor(connection, Await::Readable, m_stopWait, std::max(0, m_options.silenceMs));
    }
    CloseSocket(connection);
}

void ChaosPeer::Settle(const std::string& path, ServedRequest* served) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.push_back(*served);
    const auto it = m_sending.find(path);
    if (it != m_sending.end()) {
        m_sending.erase(it);
    }
    m_changed.notify_all();
}

bool ChaosPeer::WaitSettled(const std::string& prefix, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // A connection still waiting in the listen queue counts as unread.
        const bool queued = m_listener != kNoSocket && WaitReadable(m_listener, 0);
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto sending = m_sending.lower_bound(prefix);
        const bool busy =
            queued || m_unread > 0 ||
            (sending != m_sending.end() && sending->compare(0, prefix.size(), prefix) == 0);
        if (!busy || m_stopped) {
            return !busy;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        m_changed.wait_for(lock, std::chrono::milliseconds(5));
    }
}

std::vector<ServedRequest> ChaosPeer::Take(const std::string& prefix) {
    std::vector<ServedRequest> taken;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto kept = std::stable_partition(
        m_log.begin(), m_log.end(),
        [&](const ServedRequest& r) { return r.path.compare(0, prefix.size(), prefix) != 0; });
    taken.assign(kept, m_log.end());
    m_log.erase(kept, m_log.end());
    std::sort(taken.begin(), taken.end(),
              [](const ServedRequest& a, const ServedRequest& b) { return a.order < b.order; });
    return taken;
}

int ChaosPeer::IncompleteRequests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_incomplete;
}

std::uint64_t ChaosPeer::Connections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accepted;
}

int ChaosPeer::MaxConcurrent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxActive;
}

std::size_t ChaosPeer::BodySize(const std::string& resource) const {
    Rng rng(Hash(resource, m_options.seed ^ 0xB0D1));
    const int size = rng.Int(0, 99);
    if (size < 5) {
        return 0;
    }
    if (size < 35) {
        return rng.Size(1, 1023);
    }
    if (size < 70) {
        return rng.Size(1024, 65535);
    }
    return rng.Size(65536, kMaxBody);
}

std::string ChaosPeer::Body(const std::string& resource) const {
    std::string body(BodySize(resource), '\0');
    Rng rng(Hash(resource, m_options.seed ^ 0xB0D2));
    for (std::size_t at = 0; at < body.size(); at += 8) {
        const std::uint64_t bits = rng.Next();
        std::memcpy(body.data() + at, &bits, std::min<std::size_t>(8, body.size() - at));
    }
    return body;
}

}  // namespace tavrin::test
