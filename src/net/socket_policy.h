// Socket policies as the Flash player used them: before a movie may open a TCP socket to a
// server its configuration does not list, the server must consent. The player asked the
// host's master policy port (843) first and then the destination port itself, each with
// "<policy-file-request/>" and a zero byte, and read a cross-domain-policy document ended
// by a zero byte:
//
//   <cross-domain-policy>
//     <site-control permitted-cross-domain-policies="master-only"/>
//     <allow-access-from domain="*.example.com" to-ports="843,5000-5010"/>
//   </cross-domain-policy>
//
// The document rules and the decision need no socket; RequestSocketPolicy asks a server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

inline constexpr std::uint16_t kMasterPolicyPort = 843;
// The Flash player gave each policy request 3 s.
inline constexpr int kPolicyTimeoutMs = 3000;
// Policies are a few hundred bytes; an answer past this is no policy.
inline constexpr std::size_t kMaxPolicyBytes = 20 * 1024;

// What a master policy lets other policies of the host say (site-control). A master policy
// that names none allows all, as the player's default for sockets.
enum class PolicyScope { kAll, kMasterOnly, kNone };

struct PortRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
};

// One allow-access-from element.
struct PolicyGrant {
    std::string domain;  // lower case: "*", "*.example.com", a name or an address
    std::vector<PortRange> ports;
    bool secure = true;  // "false" lets movies served over https in as well
};

struct SocketPolicy {
    PolicyScope scope = PolicyScope::kAll;
    std::vector<PolicyGrant> grants;
};

// Reads a policy document (without its zero byte). False, with `error` saying why, for
// text that is not well-formed XML or whose root is not cross-domain-policy. Grants whose
// ports cannot be read are left out, as the player ignored them.
bool ParseSocketPolicy(std::string_view document, SocketPolicy& out, std::string* error = nullptr);

// "507", "507,508", "516-523", "*"; false for anything else (a port outside 1-65535, a
// range backwards, an empty entry).
bool ParsePolicyPorts(std::string_view text, std::vector<PortRange>& out);

// True when a grant of the policy admits a movie served from `movieHost` (over https when
// `movieHttps`) to `port`.
bool PolicyAllows(const SocketPolicy& policy, const std::string& movieHost, bool movieHttps,
                  std::uint16_t port);

// One request for a policy.
struct PolicyAnswer {
    enum class Status {
        kReceived,  // `document` holds the text before the zero byte
        kNoAnswer,  // refused, unreachable, closed or silent without a byte of an answer
        kUnusable,  // an answer that did not end with a zero byte, or more than kMaxPolicyBytes
    };
    Status status = Status::kNoAnswer;
    std::string document;
    std::string error;  // why, when not kReceived
};

// Asks host:port for its socket policy: connects, sends the request and reads up to the
// zero byte, all within timeoutMs.
PolicyAnswer RequestSocketPolicy(const std::string& host, std::uint16_t port,
                                 int timeoutMs = kPolicyTimeoutMs,
                                 std::size_t maxBytes = kMaxPolicyBytes);

// Where policies come from: RequestSocketPolicy, or a stand-in in tests.
using PolicySource = std::function<PolicyAnswer(const std::string& host, std::uint16_t port)>;

struct SocketPermission {
    bool allowed = false;
    std::string reason;  // which policy allowed it, or why none did
};

// The player's decision for a movie from movieHost wanting host:port: the master policy of
// the host first (its site-control decides whether another may speak), then the policy on
// the destination port. `masterPort` is 843 but for tests.
SocketPermission DecideSocketPermission(const PolicySource& source, const std::string& movieHost,
                                        bool movieHttps, const std::string& host,
                                        std::uint16_t port,
                                        std::uint16_t masterPort = kMasterPolicyPort);

}  // namespace tavrin
