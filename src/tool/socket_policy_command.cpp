// tavrin-tool socket-policy: a game server's socket policy, asked as the Flash player did.
#include <cstdio>
#include <map>
#include <string>

#include "app/config.h"
#include "net/http_parse.h"
#include "net/socket_policy.h"
#include "net/socket_transport.h"
#include "tool/tool_options.h"

namespace tavrin::tool {

const char* const kSocketPolicyHelp =
    "  socket-policy  ask HOST:PORT for its socket policy as the Flash player did: the\n"
    "           master policy on port 843 of the host first (--master-port N for\n"
    "           another), then the policy on PORT; prints what each said and, with\n"
    "           --movie URL (the game movie's address), whether that movie may connect\n"
    "           and why\n";

// One policy answer as name.status, name.error, name.scope and a name.grant line each.
bool PrintPolicyAnswer(const char* name, const tavrin::PolicyAnswer& answer) {
    using Status = tavrin::PolicyAnswer::Status;
    const std::string prefix = name;
    if (answer.status != Status::kReceived) {
        PrintValue((prefix + ".status").c_str(),
                   answer.status == Status::kNoAnswer ? "no answer" : "unusable");
        PrintValue((prefix + ".error").c_str(), answer.error);
        return false;
    }
    tavrin::SocketPolicy policy;
    std::string error;
    if (!tavrin::ParseSocketPolicy(answer.document, policy, &error)) {
        PrintValue((prefix + ".status").c_str(), "no policy");
        PrintValue((prefix + ".error").c_str(), error);
        return false;
    }
    PrintValue((prefix + ".status").c_str(), "received");
    const char* scope = policy.scope == tavrin::PolicyScope::kAll          ? "all"
                        : policy.scope == tavrin::PolicyScope::kMasterOnly ? "master-only"
                                                                           : "none";
    PrintValue((prefix + ".scope").c_str(), scope);
    for (const tavrin::PolicyGrant& grant : policy.grants) {
        std::string ports;
        for (const tavrin::PortRange& range : grant.ports) {
            ports += (ports.empty() ? "" : ",") + std::to_string(range.first) +
                     (range.last == range.first ? "" : "-" + std::to_string(range.last));
        }
        PrintValue((prefix + ".grant").c_str(),
                   grant.domain + " " + ports + (grant.secure ? "" : " secure=false"));
    }
    return true;
}

int RunSocketPolicy(const Args& args) {
    std::string movie;
    std::uint16_t masterPort = tavrin::kMasterPolicyPort;
    Args positional;
    const std::vector<Option> options = {Text("--movie", movie),
                                         Number("--master-port", masterPort, 1, 65535)};
    if (!ParseArguments(args, options, 1, positional)) {
        return kExitUsage;
    }
    std::vector<std::string> rejected;
    const std::vector<tavrin::SocketEndpoint> endpoints =
        tavrin::ParseSocketList(positional[0], &rejected);
    std::string movieHost;
    std::string object;
    std::uint16_t moviePort = 0;
    if (endpoints.size() != 1 || !rejected.empty() ||
        (!movie.empty() && !tavrin::ParseUrl(movie, movieHost, object, moviePort))) {
        std::fprintf(stderr, "tavrin-tool: socket-policy needs HOST:PORT and a movie's address\n");
        return kExitUsage;
    }
    tavrin::SocketStartup();
    const tavrin::SocketEndpoint& to = endpoints[0];
    // Each answer is asked for once: what is printed is what the decision used.
    std::map<std::uint16_t, tavrin::PolicyAnswer> answers;
    const tavrin::PolicySource source = [&answers](const std::string& host, std::uint16_t port) {
        auto known = answers.find(port);
        if (known == answers.end()) {
            known = answers.emplace(port, tavrin::RequestSocketPolicy(host, port)).first;
        }
        return known->second;
    };
    const std::string where = to.host + ":" + std::to_string(to.port);
    PrintValue("master", to.host + ":" + std::to_string(masterPort));
    const bool masterSaid = PrintPolicyAnswer("master", source(to.host, masterPort));
    bool portSaid = false;
    if (to.port != masterPort) {
        PrintValue("policy", where);
        portSaid = PrintPolicyAnswer("policy", source(to.host, to.port));
    }
    if (movie.empty()) {
        return masterSaid || portSaid ? kExitOk : kExitFailed;
    }
    const tavrin::SocketPermission permission = tavrin::DecideSocketPermission(
        source, movieHost, tavrin::IsSecureUrl(movie), to.host, to.port, masterPort);
    PrintValue("movieHost", movieHost);
    PrintValue("decision", permission.allowed ? "allowed" : "refused");
    PrintValue("reason", permission.reason);
    return permission.allowed ? kExitOk : kExitFailed;
}

}  // namespace tavrin::tool
