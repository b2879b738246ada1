#include "net/socket_policy.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>

#include "net/socket_transport.h"

namespace tavrin {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool ParsePort(std::string_view text, std::uint16_t& port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

PolicyScope ScopeOf(const char* value) {
    const std::string scope = Lower(Trimmed(value == nullptr ? "" : value));
    if (scope == "all") {
        return PolicyScope::kAll;
    }
    if (scope == "master-only") {
        return PolicyScope::kMasterOnly;
    }
    // "none", and whatever the player did not know (the HTTP-only values among them): the
    // safe reading.
    return PolicyScope::kNone;
}

bool DomainMatches(const std::string& pattern, const std::string& host) {
    if (pattern == "*") {
        return true;
    }
    if (pattern.size() > 2 && pattern.compare(0, 2, "*.") == 0) {
        const std::string base = pattern.substr(2);
        return host == base || (host.size() > base.size() + 1 &&
                                host.compare(host.size() - base.size(), base.size(), base) == 0 &&
                                host[host.size() - base.size() - 1] == '.');
    }
    return !pattern.empty() && pattern == host;
}

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

PolicyAnswer Failed(PolicyAnswer::Status status, std::string error) {
    PolicyAnswer answer;
    answer.status = status;
    answer.error = std::move(error);
    return answer;
}

}  // namespace

bool ParsePolicyPorts(std::string_view text, std::vector<PortRange>& out) {
    std::vector<PortRange> ranges;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string_view entry = Trimmed(text.substr(at, comma - at));
        const std::size_t dash = entry.find('-');
        PortRange range;
        if (entry == "*") {
            range = {1, 65535};
        } else if (dash == std::string_view::npos) {
            if (!ParsePort(entry, range.first)) {
                return false;
            }
            range.last = range.first;
        } else if (!ParsePort(Trimmed(entry.substr(0, dash)), range.first) ||
                   !ParsePort(Trimmed(entry.substr(dash + 1)), range.last) ||
                   range.last < range.first) {
            return false;
        }
        ranges.push_back(range);
        at = comma + 1;
    }
    out = std::move(ranges);
    return true;
}

bool ParseSocketPolicy(std::string_view document, SocketPolicy& out, std::string* error) {
    tinyxml2::XMLDocument doc;
    if (doc.Parse(document.data(), document.size()) != tinyxml2::XML_SUCCESS) {
        if (error != nullptr) {
            *error = std::string("not well-formed XML: ") + doc.ErrorStr();
        }
        return false;
    }
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (root == nullptr || std::string_view(root->Name()) != "cross-domain-policy") {
        if (error != nullptr) {
            *error = "not a cross-domain-policy document";
        }
        return false;
    }
    SocketPolicy policy;
    for (const tinyxml2::XMLElement* e = root->FirstChildElement(); e != nullptr;
         e = e->NextSiblingElement()) {
        const std::string_view name = e->Name();
        if (name == "site-control") {
            policy.scope = ScopeOf(e->Attribute("permitted-cross-domain-policies"));
            continue;
        }
        if (name != "allow-access-from") {
            continue;
        }
        PolicyGrant grant;
        const char* domain = e->Attribute("domain");
        const char* ports = e->Attribute("to-ports");
        // A socket grant names both; one that does not, or whose ports cannot be read,
        // grants nothing.
        if (domain == nullptr || ports == nullptr || !ParsePolicyPorts(ports, grant.ports)) {
            continue;
        }
        grant.domain = Lower(Trimmed(domain));
        const char* secure = e->Attribute("secure");
        grant.secure = secure == nullptr || Lower(Trimmed(secure)) != "false";
        policy.grants.push_back(std::move(grant));
    }
    out = std::move(policy);
    return true;
}

bool PolicyAllows(const SocketPolicy& policy, const std::string& movieHost, bool movieHttps,
                  std::uint16_t port) {
    const std::string host = Lower(movieHost);
    for (const PolicyGrant& grant : policy.grants) {
        // A movie that came over https reaches a plain socket only where the policy says
        // it does not insist on that security.
        if ((movieHttps && grant.secure) || !DomainMatches(grant.domain, host)) {
            continue;
        }
        for (const PortRange& range : grant.ports) {
            if (port >= range.first && port <= range.last) {
                return true;
            }
        }
    }
    return false;
}

PolicyAnswer RequestSocketPolicy(const std::string& host, std::uint16_t port, int timeoutMs,
                                 std::size_t maxBytes) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string where = host + ":" + std::to_string(port);
    const SocketHandle socket = ConnectTcp(host, port, MillisecondsLeft(deadline));
    struct Closer {
        SocketHandle socket;
        ~Closer() { CloseSocket(socket); }
    } closer{socket};
    if (socket == kInvalidSocket) {
        return Failed(
            PolicyAnswer::Status::kNoAnswer,
            "no connection to " + where + " (error " + std::to_string(GetLastSocketError()) + ")");
    }
    static constexpr char kRequest[] = "<policy-file-request/>";  // with its zero byte
    if (SendAll(socket, kRequest, sizeof kRequest, MillisecondsLeft(deadline)) !=
        static_cast<long>(sizeof kRequest)) {
        return Failed(PolicyAnswer::Status::kNoAnswer, "the request did not reach " + where);
    }
    std::string received;
    char buffer[4096];
    for (;;) {
        const long n = RecvWithTimeout(socket, buffer, sizeof buffer, MillisecondsLeft(deadline));
        if (n <= 0 && !received.empty()) {
            // Closed, broken or silent after part of an answer: it never ended.
            return Failed(PolicyAnswer::Status::kUnusable,
                          "the answer of " + where + " did not end with a zero byte");
        }
        if (n < 0) {
            return Failed(PolicyAnswer::Status::kNoAnswer, "no policy from " + where + " within " +
                                                               std::to_string(timeoutMs) + " ms");
        }
        if (n == 0) {
            return Failed(PolicyAnswer::Status::kNoAnswer,
                          where + " closed the connection without an answer");
        }
        received.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = received.find('\0');
        if (end != std::string::npos && end <= maxBytes) {
            PolicyAnswer answer;
            answer.status = PolicyAnswer::Status::kReceived;
            answer.document = received.substr(0, end);
            return answer;
        }
        if (received.size() > maxBytes) {
            return Failed(PolicyAnswer::Status::kUnusable, "the answer of " + where +
                                                               " is larger than " +
                                                               std::to_string(maxBytes) + " bytes");
        }
    }
}

SocketPermission DecideSocketPermission(const PolicySource& source, const std::string& movieHost,
                                        bool movieHttps, const std::string& host,
                                        std::uint16_t port, std::uint16_t masterPort) {
    const auto said = [&](std::uint16_t at) {
        return "the policy on " + host + ":" + std::to_string(at);
    };
    const PolicyAnswer master = source(host, masterPort);
    SocketPolicy masterPolicy;
    const bool hasMaster = master.status == PolicyAnswer::Status::kReceived &&
                           ParseSocketPolicy(master.document, masterPolicy);
    if (hasMaster) {
        if (masterPolicy.scope == PolicyScope::kNone) {
            return {false, said(masterPort) + " permits no socket policies on that host"};
        }
        if (PolicyAllows(masterPolicy, movieHost, movieHttps, port)) {
            return {true, "allowed by " + said(masterPort)};
        }
        if (masterPolicy.scope == PolicyScope::kMasterOnly) {
            return {false, said(masterPort) + " does not allow it and permits no other policy"};
        }
    }
    if (port == masterPort) {
        if (hasMaster) {
            return {false, said(masterPort) + " does not allow movies from " + movieHost};
        }
        // An answer that arrived but is no policy has no error of its own to give.
        return {false, master.status == PolicyAnswer::Status::kReceived
                           ? said(masterPort) + " is no policy"
                           : "no socket policy allows it: " + master.error};
    }
    const PolicyAnswer own = source(host, port);
    if (own.status != PolicyAnswer::Status::kReceived) {
        return {false, "no socket policy allows it: " + own.error};
    }
    SocketPolicy policy;
    std::string error;
    if (!ParseSocketPolicy(own.document, policy, &error)) {
        return {false, said(port) + " is no policy: " + error};
    }
    if (PolicyAllows(policy, movieHost, movieHttps, port)) {
        return {true, "allowed by " + said(port)};
    }
    return {false, said(port) + " does not allow movies from " + movieHost};
}

}  // namespace tavrin
