// The requests the view answers itself: the player page for the movie's own address, and on
// the player's own host Ruffle's files, the Chinese font and the page's bridge.
#include <algorithm>
#include <cctype>
#include <utility>

#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "game/player_font.h"
#include "game/player_page.h"
#include "platform/file_system.h"
#include "win/webview2_engine.h"
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

// A plain file name of the player's folder: nothing else on the disk is reachable.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find_first_of("/\\:") == std::string::npos;
}

}  // namespace

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
    if (context == wv2::kResourceDocument && uri == m_strMovie && !m_strPage.empty()) {
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
    // The bridge and the font are the player page's: only a request of the movie's origin
    // that knows the page's secret gets them.
    const std::string movieOrigin = OriginOf(m_strMovie);
    const bool fromPage = !m_strToken.empty() && !movieOrigin.empty() && origin == movieOrigin;
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
    if (!IsPlainFileName(path) ||
        !platform::ReadWholeFile(GetModuleDir() + "ruffle\\" + path, bytes)) {
        Respond(args, 404, "Content-Type: text/plain", {});
        return;
    }
    // The player's modules, for any page of this view.
    Respond(args, 200,
            std::string("Content-Type: ") + MimeTypeOf(path) + "\r\nAccess-Control-Allow-Origin: *",
            bytes);
}

void WebView2View::Respond(wv2::ICoreWebView2WebResourceRequestedEventArgs* args, int status,
                           const std::string& headers, const std::string& body) {
    const auto response = m_engine.Response(status, headers, body);
    if (response) {
        args->put_Response(response.Get());
    }
}

}  // namespace tavrin::win
