// The requests the view answers itself: the player page for the movie's own address, and on
// the player's own host Ruffle's files, the Chinese font and the page's bridge.
#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "game/player_font.h"
#include "game/player_page.h"
#include "platform/file_system.h"
#include "win/webview2_view.h"
#include "win/win_text.h"

namespace tavrin::win {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const char* MimeTypeOf(const std::string& name) {
    if (name.ends_with(".wasm")) {
        return "application/wasm";
    }
    if (name.ends_with(".js")) {
        return "text/javascript";
    }
    return "application/octet-stream";
}

// A plain file name of the player's folder: nothing else on the disk is reachable, and no
// device (which a name such as "COM1" or "nul.js" opens in any folder).
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find_first_of("/\\:") == std::string::npos &&
           !platform::IsReservedDeviceName(name);
}

// The host as the engine writes it: lower case, and an international name in punycode.
std::string AsciiHost(const std::string& host) {
    if (std::all_of(host.begin(), host.end(), [](unsigned char c) { return c < 0x80; })) {
        return Lower(host);
    }
    const std::wstring wide = WideFromUtf8(host);
    wchar_t ascii[256] = {};
    const int size =
        IdnToAscii(IDN_ALLOW_UNASSIGNED, wide.c_str(), static_cast<int>(wide.size()), ascii, 256);
    return size > 0 ? Lower(Utf8FromWide(std::wstring(ascii, static_cast<std::size_t>(size))))
                    : Lower(host);
}

// The path with its "." and ".." segments resolved, as a browser reads it.
std::string ResolvedPath(const std::string& path) {
    std::vector<std::string> kept;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        const bool last = end == path.size();
        if (segment == "..") {
            if (!kept.empty()) {
                kept.pop_back();
            }
            if (last) {
                kept.emplace_back();
            }
        } else if (segment == ".") {
            if (last) {
                kept.emplace_back();
            }
        } else {
            kept.push_back(segment);
        }
        start = end + 1;
    }
    std::string resolved;
    for (const std::string& segment : kept) {
        resolved += "/" + segment;
    }
    return resolved.empty() ? "/" : resolved;
}

}  // namespace

std::string NormalisedAddress(const std::string& address) {
    const std::string text = address.substr(0, address.find('#'));
    const std::size_t scheme = text.find("://");
    const std::string name = scheme == std::string::npos ? "" : Lower(text.substr(0, scheme));
    if (name != "http" && name != "https") {
        return text;
    }
    const std::size_t hostStart = scheme + 3;
    const std::size_t hostEnd = std::min(text.find_first_of("/?\\", hostStart), text.size());
    std::string authority = text.substr(hostStart, hostEnd - hostStart);
    std::string rest = text.substr(hostEnd);
    const std::size_t at = authority.rfind('@');
    const std::string user = at == std::string::npos ? "" : authority.substr(0, at + 1);
    authority.erase(0, at == std::string::npos ? 0 : at + 1);
    const std::size_t bracket = authority.find(']');
    std::size_t colon = authority.rfind(':');
    if (bracket != std::string::npos && colon != std::string::npos && colon < bracket) {
        colon = std::string::npos;
    }
    std::string port = colon == std::string::npos ? "" : authority.substr(colon + 1);
    const std::string host = AsciiHost(authority.substr(0, colon));
    port.erase(0, std::min(port.find_first_not_of('0'), port.empty() ? 0 : port.size() - 1));
    if (port == (name == "http" ? "80" : "443")) {
        port.clear();
    }
    const std::size_t query = rest.find('?');
    std::string path = rest.substr(0, query);
    std::replace(path.begin(), path.end(), '\\', '/');
    return name + "://" + user + host + (port.empty() ? "" : ":" + port) +
           ResolvedPath(path.empty() ? "/" : path) +
           (query == std::string::npos ? "" : rest.substr(query));
}

std::string OriginOf(const std::string& address) {
    const std::size_t scheme = address.find("://");
    if (scheme == std::string::npos || scheme == 0) {
        return {};
    }
    const std::size_t end = address.find_first_of("/?#", scheme + 3);
    std::string origin = Lower(address.substr(0, end));
    const std::string name = origin.substr(0, scheme);
    for (const auto& [scheme_, port] : {std::pair{"http", ":80"}, std::pair{"https", ":443"}}) {
        if (name == scheme_ && origin.ends_with(port)) {
            origin.resize(origin.size() - std::char_traits<char>::length(port));
        }
    }
    return origin.size() > scheme + 3 ? origin : std::string();
}

HRESULT WebView2View::OnResource(wv2::ICoreWebView2WebResourceRequestedEventArgs* args) {
    ComPtr<wv2::ICoreWebView2WebResourceRequest> request;
    args->get_Request(request.Put());
    if (!request) {
        return S_OK;
    }
    LPWSTR rawUri = nullptr;
    request->get_Uri(&rawUri);
    const std::string uri = TakeEngineString(rawUri);
    int context = wv2::kResourceAll;
    args->get_ResourceContext(&context);
    if (context == wv2::kResourceDocument && uri == m_strMovieUri && !m_strPage.empty()) {
        Respond(args, 200, "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store",
                m_strPage);
        return S_OK;
    }
    const std::string prefix = std::string(kPlayerHost) + "/";
    if (uri.compare(0, prefix.size(), prefix) != 0) {
        return S_OK;  // not ours: the engine fetches it
    }
    ComPtr<wv2::ICoreWebView2HttpRequestHeaders> headers;
    request->get_Headers(headers.Put());
    LPWSTR rawOrigin = nullptr;
    if (headers) {
        headers->GetHeader(L"Origin", &rawOrigin);
    }
    const std::string rest = uri.substr(prefix.size());
    const std::size_t query = rest.find('?');
    AnswerPlayerRequest(rest.substr(0, query),
                        query == std::string::npos ? std::string() : rest.substr(query + 1),
                        TakeEngineString(rawOrigin), args);
    return S_OK;
}

void WebView2View::AnswerPlayerRequest(const std::string& path, const std::string& query,
                                       const std::string& origin,
                                       wv2::ICoreWebView2WebResourceRequestedEventArgs* args) {
    // The bridge and the font are the player page's: only a request that knows the page's
    // secret gets them, and none that says it comes from another origin. The engine may
    // hand the request over before its network stack adds Origin, so its absence is no
    // refusal; Access-Control-Allow-Origin keeps other origins from reading the answer.
    const std::string movieOrigin = OriginOf(m_strMovie);
    const bool fromPage = !m_strToken.empty() && !movieOrigin.empty() &&
                          (origin.empty() || OriginOf(origin) == movieOrigin);
    const std::string allow = "Access-Control-Allow-Origin: " + movieOrigin;
    if (path == "bridge/" + m_strToken || path == "fonts/chinese/" + m_strToken) {
        if (!fromPage) {
            Respond(args, 403, "Content-Type: text/plain", {});
            return;
        }
    }
    if (path == "fonts/chinese/" + m_strToken) {
        const std::string& face = GetPlayerFont().bytes;
        Respond(args, face.empty() ? 404 : 200, "Content-Type: font/otf\r\n" + allow, face);
        return;
    }
    if (path == "bridge/" + m_strToken) {
        if (!m_bToldRequestHeaders && m_engine.onPlayerRequest) {
            m_bToldRequestHeaders = true;
            m_engine.onPlayerRequest(origin.empty() ? "no Origin" : "Origin: " + origin);
        }
        if (!onPageMessage) {
            Respond(args, 200, "Content-Type: text/plain; charset=utf-8\r\n" + allow, {});
            return;
        }
        // The page waits (a synchronous request) until the launcher answers, which for a
        // socket is once its connection is known.
        ComPtr<wv2::ICoreWebView2Deferral> deferral;
        args->GetDeferral(deferral.Put());
        auto pending = ComPtr<wv2::ICoreWebView2WebResourceRequestedEventArgs>::Share(args);
        std::weak_ptr<WebView2View*> self = m_self;
        onPageMessage(BridgeMessageFromQuery(query), [self, pending, deferral,
                                                      allow](const std::string& answer) {
            if (const auto view = self.lock()) {
                (*view)->Respond(pending.Get(), 200,
                                 "Content-Type: text/plain; charset=utf-8\r\n" + allow, answer);
            }
            if (deferral) {
                deferral->Complete();
            }
        });
        return;
    }
    std::string bytes;
    if (!IsPlainFileName(path) || !platform::ReadWholeFile(PlayerFolder() + "\\" + path, bytes)) {
        Respond(args, 404, "Content-Type: text/plain", {});
        return;
    }
    // The player's modules, for any page of this view.
    Respond(args, 200,
            std::string("Content-Type: ") + MimeTypeOf(path) + "\r\nAccess-Control-Allow-Origin: *",
            bytes);
}

std::string WebView2View::PlayerFolder() const {
    return m_engine.PlayerFolder().empty() ? GetModuleDir() + "ruffle" : m_engine.PlayerFolder();
}

void WebView2View::Respond(wv2::ICoreWebView2WebResourceRequestedEventArgs* args, int status,
                           const std::string& headers, const std::string& body) {
    const auto response = m_engine.Response(status, headers, body);
    if (response) {
        args->put_Response(response.Get());
    }
}

}  // namespace tavrin::win
