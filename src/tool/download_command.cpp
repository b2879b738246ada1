// tavrin-tool download: one address into one file with the launcher's own HTTP client.
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "net/http_download.h"
#include "net/http_parse.h"
#include "platform/process.h"
#include "tool/tool_options.h"

namespace tavrin::tool {

const char* const kDownloadHelp =
    "  download fetch URL into FILE with the launcher's own HTTP client. Options:\n"
    "           --connect-timeout T  --recv-timeout T  --send-timeout T (10s each; T in\n"
    "           milliseconds, or with its unit: 500ms, 10s, 2m)\n"
    "           --max-time T (the whole download, retries included; none by default)\n"
    "           --retry-mode 0|1|2 (give up, limited, unlimited)  --max-retries N\n"
    "           --retry-delay MS  --user-agent TEXT  --referer URL\n"
    "           --user NAME --password TEXT (Basic credentials for the server)\n"
    "           --proxy-type none|http|socks4|socks4a|socks5  --proxy HOST:PORT\n"
    "           --proxy-user NAME --proxy-password TEXT\n"
    "           --progress (bytes, speed, time left; shown on a terminal by default)\n"
    "           --silent (no progress)\n"
    "           --password-env VAR, --password-file FILE (and --proxy-password-env,\n"
    "           --proxy-password-file): the password from an environment variable or\n"
    "           the first line of a file, kept off the command line\n"
    "           --cacert FILE (PEM CAs that https servers must chain to, in place of\n"
    "           the system's trusted roots)\n";

bool ParseProxy(const std::string& text, tavrin::ProxySettings& proxy) {
    const std::size_t colon = text.rfind(':');
    long port = 0;
    if (colon == std::string::npos || !ParseNumber(text.substr(colon + 1), port) || port <= 0 ||
        port > 65535) {
        return false;
    }
    proxy.server.host = text.substr(0, colon);
    proxy.server.port = static_cast<std::uint16_t>(port);
    return true;
}

bool ParseProxyType(const std::string& text, tavrin::ProxySettings& proxy) {
    static const std::map<std::string, int> kTypes = {{"none", tavrin::kProxyNone},
                                                      {"http", tavrin::kProxyHttp},
                                                      {"socks4", tavrin::kProxySocks4},
                                                      {"socks4a", tavrin::kProxySocks4a},
                                                      {"socks5", tavrin::kProxySocks5}};
    const auto found = kTypes.find(text);
    if (found == kTypes.end()) {
        return false;
    }
    proxy.type = found->second;
    return true;
}

// Prints the progress on one terminal line: bytes, speed and, with a known size, the time
// left, at most ten times a second.
void ShowProgress(const tavrin::DownloadProgress& p) {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    static Clock::time_point shown;
    const Clock::time_point now = Clock::now();
    const bool done = p.total > 0 && p.received >= p.total;
    if (p.code != 3 || (now - shown < std::chrono::milliseconds(100) && !done)) {
        return;
    }
    shown = now;
    const double seconds = std::chrono::duration<double>(now - start).count();
    const double speed =
        seconds > 0 ? static_cast<double>(p.received) / seconds : 0;  // bytes a second
    char rate[48];
    std::snprintf(rate, sizeof rate, "  %.1f MiB/s", speed / (1024 * 1024));
    if (p.total > 0) {
        const long left =
            speed > 0 ? static_cast<long>(static_cast<double>(p.total - p.received) / speed) : -1;
        char eta[32] = "";
        if (left >= 0) {
            std::snprintf(eta, sizeof eta, "  %ld:%02ld left", left / 60, left % 60);
        }
        std::fprintf(stderr, "\r%s: %lld of %lld bytes (%d%%)%s%s   ", p.name.c_str(),
                     static_cast<long long>(p.received), static_cast<long long>(p.total),
                     static_cast<int>(100.0 * static_cast<double>(p.received) /
                                      static_cast<double>(p.total)),
                     rate, eta);
    } else {
        std::fprintf(stderr, "\r%s: %lld bytes%s   ", p.name.c_str(),
                     static_cast<long long>(p.received), rate);
    }
}

int RunDownload(const Args& args) {
    tavrin::DownloadOptions d;
    int serverAuth = 0;
    int proxyAuth = 0;
    // Shown on a terminal unless --silent; --progress shows it anywhere.
    int progress = tavrin::platform::ErrorOutputIsTerminal() ? 1 : 0;
    const std::vector<Option> options = {
        Duration("--connect-timeout", d.connectTimeoutMs),
        Duration("--recv-timeout", d.recvTimeoutMs),
        Duration("--send-timeout", d.sendTimeoutMs),
        Duration("--max-time", d.deadlineMs),
        Number("--retry-mode", d.retry.mode, 0, 2),
        Number("--max-retries", d.retry.maxRetries, 0, 1000000),
        Number("--retry-delay", d.retry.delayMs, 0, 3600000),
        Text("--user-agent", d.userAgent),
        Text("--referer", d.referer),
        Text("--user", d.user, &serverAuth),
        Text("--password", d.password),
        SecretFromEnvironment("--password-env", d.password),
        SecretFromFile("--password-file", d.password),
        {"--proxy-type", [&d](const std::string& v) { return ParseProxyType(v, d.proxy); }},
        {"--proxy", [&d](const std::string& v) { return ParseProxy(v, d.proxy); }},
        Text("--proxy-user", d.proxy.server.user, &proxyAuth),
        Text("--proxy-password", d.proxy.server.password),
        SecretFromEnvironment("--proxy-password-env", d.proxy.server.password),
        SecretFromFile("--proxy-password-file", d.proxy.server.password),
        Text("--cacert", d.caFile),
        {"--progress",
         [&progress](const std::string&) {
             progress = 1;
             return true;
         },
         true},
        {"--silent",
         [&progress](const std::string&) {
             progress = 0;
             return true;
         },
         true},
    };
    Args urlAndFile;
    if (!ParseArguments(args, options, 2, urlAndFile)) {
        return kExitUsage;
    }
    d.serverAuth = serverAuth != 0;
    d.proxy.server.auth = proxyAuth != 0;
    if (progress != 0) {
        d.progress = &ShowProgress;
    }
    // A temporary file of this process's own, so that two copies fetching the same target
    // never write into one file.
    d.tempSuffix = ".down" + std::to_string(tavrin::platform::CurrentProcessId());
    // Named by the target's folder: another copy finishing a file of the same name elsewhere
    // is another file.
    d.mutexPrefix = tavrin::TargetMutexPrefix(urlAndFile[1]);
    tavrin::SocketStartup();
    tavrin::CHttpDownload download(std::move(d));
    const tavrin::DownloadOutcome outcome = download.Download(urlAndFile[0], urlAndFile[1]);
    tavrin::SocketCleanup();
    if (progress != 0) {
        std::fputc('\n', stderr);
    }
    if (outcome) {
        return kExitOk;
    }
    std::fprintf(stderr, "tavrin-tool: download of %s failed (result %d): %s\n",
                 urlAndFile[0].c_str(), outcome.result, outcome.reason.c_str());
    // A handshake that failed along the way, when the download ended on something else.
    if (!outcome.tlsError.empty() && outcome.reason.find(outcome.tlsError) == std::string::npos) {
        std::fprintf(stderr, "tavrin-tool: TLS: %s\n", outcome.tlsError.c_str());
    }
    // DL_STOPPED cannot come: nothing here stops the download.
    return outcome.result == tavrin::DL_NOT_FOUND ? kExitNotFound : kExitDownloadFailed;
}

}  // namespace tavrin::tool
