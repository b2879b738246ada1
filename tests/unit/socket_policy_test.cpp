// Socket policies: the documents servers gave the Flash player, the player's decision, and
// the request against a real socket.
#include "net/socket_policy.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "support/tcp_peer.h"

namespace tavrin {
namespace {

const char* const kMasterOnlyAnyone =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE cross-domain-policy SYSTEM \"/xml/dtds/cross-domain-policy.dtd\">\n"
    "<cross-domain-policy>\n"
    "  <site-control permitted-cross-domain-policies=\"master-only\"/>\n"
    "  <allow-access-from domain=\"*\" to-ports=\"*\" />\n"
    "</cross-domain-policy>";

const char* const kSeveralGrants =
    "<cross-domain-policy>"
    "<allow-access-from domain=\"*.Example.com\" to-ports=\"507, 516-523\"/>"
    "<allow-access-from domain=\"game.test\" to-ports=\"5000\"/>"
    "<allow-access-from domain=\"127.0.0.1\" to-ports=\"9000\" secure=\"false\"/>"
    "<allow-access-from domain=\"bad.test\" to-ports=\"70000\"/>"
    "<allow-access-from domain=\"bad.test\" to-ports=\"9-3\"/>"
    "<allow-access-from domain=\"bad.test\"/>"
    "<allow-access-from to-ports=\"5000\"/>"
    "</cross-domain-policy>";

TEST(SocketPolicy, GrantsAdmitTheirDomainsAndPortsOnly) {
    const struct {
        const char* document;
        const char* movieHost;
        bool https;
        std::uint16_t port;
        bool allowed;
    } cases[] = {
        {kMasterOnlyAnyone, "anyone.example", false, 1, true},
        {kMasterOnlyAnyone, "anyone.example", false, 65535, true},
        {kMasterOnlyAnyone, "anyone.example", true, 80, false},  // https needs secure="false"
        {kSeveralGrants, "www.example.com", false, 507, true},
        {kSeveralGrants, "EXAMPLE.com", false, 520, true},
        {kSeveralGrants, "a.b.example.com", false, 523, true},
        {kSeveralGrants, "www.example.com", false, 524, false},
        {kSeveralGrants, "www.example.com", false, 5000, false},
        {kSeveralGrants, "evilexample.com", false, 507, false},
        {kSeveralGrants, "example.com.evil", false, 507, false},
        {kSeveralGrants, "game.test", false, 5000, true},
        {kSeveralGrants, "www.game.test", false, 5000, false},
        {kSeveralGrants, "127.0.0.1", true, 9000, true},
        {kSeveralGrants, "127.0.0.2", false, 9000, false},
        {kSeveralGrants, "bad.test", false, 9, false},  // unreadable ports grant nothing
        {kSeveralGrants, "other.test", false, 5000, false},
    };
    for (const auto& c : cases) {
        SocketPolicy policy;
        ASSERT_TRUE(ParseSocketPolicy(c.document, policy));
        EXPECT_EQ(PolicyAllows(policy, c.movieHost, c.https, c.port), c.allowed)
            << c.movieHost << ":" << c.port << (c.https ? " (https)" : "");
    }
}

TEST(SocketPolicy, OnlyWellFormedCrossDomainPoliciesAreRead) {
    const struct {
        const char* document;
        bool read;
        PolicyScope scope;
    } cases[] = {
        {kMasterOnlyAnyone, true, PolicyScope::kMasterOnly},
        {"<cross-domain-policy/>", true, PolicyScope::kAll},
        {"<cross-domain-policy><site-control permitted-cross-domain-policies=\"none\"/>"
         "</cross-domain-policy>",
         true, PolicyScope::kNone},
        {"<cross-domain-policy><site-control permitted-cross-domain-policies=\"by-content-type\"/>"
         "</cross-domain-policy>",
         true, PolicyScope::kNone},
        {"<cross-domain-policy><allow-access-from domain=\"*\" to-ports=\"*\"/>", false, {}},
        {"<html><body>It works!</body></html>", false, {}},
        {"", false, {}},
        {"SSH-2.0-OpenSSH_9.2", false, {}},
    };
    for (const auto& c : cases) {
        SocketPolicy policy;
        std::string error;
        EXPECT_EQ(ParseSocketPolicy(c.document, policy, &error), c.read) << c.document;
        if (c.read) {
            EXPECT_EQ(policy.scope, c.scope) << c.document;
        } else {
            EXPECT_FALSE(error.empty()) << c.document;
        }
    }
}

TEST(SocketPolicy, PortListsAreNumbersRangesOrAStar) {
    const struct {
        const char* text;
        bool read;
        std::vector<std::pair<int, int>> ranges;
    } cases[] = {
        {"507", true, {{507, 507}}},
        {"507,508", true, {{507, 507}, {508, 508}}},
        {" 516 - 523 ,80", true, {{516, 523}, {80, 80}}},
        {"*", true, {{1, 65535}}},
        {"65535", true, {{65535, 65535}}},
        {"0", false, {}},
        {"65536", false, {}},
        {"9-3", false, {}},
        {"80,", false, {}},
        {"", false, {}},
        {"http", false, {}},
        {"-5", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<PortRange> ranges;
        ASSERT_EQ(ParsePolicyPorts(c.text, ranges), c.read) << c.text;
        std::vector<std::pair<int, int>> got;
        for (const PortRange& r : ranges) {
            got.emplace_back(r.first, r.last);
        }
        EXPECT_EQ(got, c.ranges) << c.text;
    }
}

PolicyAnswer Received(const std::string& document) {
    PolicyAnswer answer;
    answer.status = PolicyAnswer::Status::kReceived;
    answer.document = document;
    return answer;
}

TEST(SocketPolicy, TheMasterPolicySpeaksFirstAndDecidesWhoElseMay) {
    const std::string anyPort =
        "<cross-domain-policy><allow-access-from domain=\"*\" "
        "to-ports=\"*\"/></cross-domain-policy>";
    const std::string onlyOther =
        "<cross-domain-policy><allow-access-from domain=\"other.test\" to-ports=\"*\"/>";
    const auto withScope = [](const char* scope, const std::string& grants) {
        return std::string(
                   "<cross-domain-policy><site-control permitted-cross-domain-policies=\"") +
               scope + "\"/>" + grants + "</cross-domain-policy>";
    };
    const std::string none;  // no answer
    const struct {
        std::string master;  // on 843
        std::string own;     // on 5000
        bool allowed;
    } cases[] = {
        {anyPort, none, true},
        {none, anyPort, true},
        {none, none, false},
        {withScope("all", ""), anyPort, true},
        {withScope("master-only", ""), anyPort, false},
        {withScope("none", "<allow-access-from domain=\"*\" to-ports=\"*\"/>"), anyPort, false},
        {onlyOther + "</cross-domain-policy>", anyPort, true},
        {"<not a policy", anyPort, true},  // an unreadable master says nothing
        {none, onlyOther + "</cross-domain-policy>", false},
        {none, "<html>game server</html>", false},
    };
    for (const auto& c : cases) {
        std::vector<std::uint16_t> asked;
        const PolicySource source = [&](const std::string& host, std::uint16_t port) {
            EXPECT_EQ(host, "game.example");
            asked.push_back(port);
            const std::string& document = port == 843 ? c.master : c.own;
            return document.empty() ? PolicyAnswer{} : Received(document);
        };
        const SocketPermission permission =
            DecideSocketPermission(source, "www.example.com", false, "game.example", 5000);
        EXPECT_EQ(permission.allowed, c.allowed) << c.master << " | " << c.own;
        EXPECT_FALSE(permission.reason.empty());
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.front(), 843);  // the master first, always
    }
}

TEST(SocketPolicy, TheRequestReadsUpToTheZeroByteWithinItsLimits) {
    const std::string policy = kMasterOnlyAnyone;
    const struct {
        std::string send;
        bool stayOpen;
        PolicyAnswer::Status status;
    } cases[] = {
        {policy + std::string(1, '\0'), true, PolicyAnswer::Status::kReceived},
        {policy + std::string(1, '\0') + "trailing", false, PolicyAnswer::Status::kReceived},
        {policy, false, PolicyAnswer::Status::kUnusable},  // closed before the zero byte
        {policy, true, PolicyAnswer::Status::kUnusable},   // waits for a zero byte in vain
        {std::string(kMaxPolicyBytes + 10, ' ') + policy + std::string(1, '\0'), true,
         PolicyAnswer::Status::kUnusable},
        {"", true, PolicyAnswer::Status::kNoAnswer},   // a server that says nothing
        {"", false, PolicyAnswer::Status::kNoAnswer},  // or closes at once
    };
    constexpr std::size_t kRequestBytes = 23;  // "<policy-file-request/>" and a zero byte
    for (const auto& c : cases) {
        // A policy server: answers the request, then closes or stays.
        test::TcpPeer peer({c.send, !c.stayOpen, false, kRequestBytes});
        const PolicyAnswer answer = RequestSocketPolicy("127.0.0.1", peer.Port(), 500);
        EXPECT_EQ(answer.status, c.status) << c.send.substr(0, 40) << " " << answer.error;
        if (answer.status == PolicyAnswer::Status::kReceived) {
            EXPECT_EQ(answer.document, policy);
        } else {
            EXPECT_FALSE(answer.error.empty());
        }
    }
    // The request is the player's, zero byte included: the server answers only that.
    test::TcpPeer peer({policy + std::string(1, '\0'), false, false, kRequestBytes});
    ASSERT_EQ(RequestSocketPolicy("127.0.0.1", peer.Port(), 500).status,
              PolicyAnswer::Status::kReceived);
    EXPECT_EQ(peer.Received(), std::string("<policy-file-request/>\0", kRequestBytes));
}

TEST(SocketPolicy, NoServerIsNoAnswer) {
    std::uint16_t deadPort = 0;
    {
        test::TcpPeer gone({"", true, false});
        deadPort = gone.Port();
    }
    const PolicyAnswer answer = RequestSocketPolicy("127.0.0.1", deadPort, 500);
    EXPECT_EQ(answer.status, PolicyAnswer::Status::kNoAnswer);
    EXPECT_FALSE(answer.error.empty());
}

}  // namespace
}  // namespace tavrin
