#include "game/player_page.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "app/config.h"
#include "net/http_parse.h"

namespace tavrin {

const char* const kPlayerLoadingText = "正在载入游戏……";

namespace {

using nlohmann::json;

bool IsNever(const std::string& value) {
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "never";
}

// Text from the operator or the network may be anything; invalid UTF-8 becomes U+FFFD
// rather than stopping the page.
std::string Dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Our own scripts inside a <script> element: only "</script" would end it early, and they
// hold no "<!--" (which would make the parser look past it).
std::string ForScriptElement(std::string text) {
    for (std::size_t at = 0; (at = text.find("</", at)) != std::string::npos; at += 3) {
        std::string tag = text.substr(at + 2, 6);
        std::transform(tag.begin(), tag.end(), tag.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (tag == "script") {
            text.insert(at + 1, "\\");
        }
    }
    return text;
}

// JSON that carries the operator's text, inside a <script> element: every "<" as an escape,
// so that no "</script" ends the element and no "<!--<script" swallows the page's own
// scripts after it. In JSON a "<" can only stand inside a string, where the escape means it.
std::string JsonForScriptElement(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '<') {
            out += "\\u003c";
        } else {
            out += c;
        }
    }
    return out;
}

json SetupObject(const PlayerPageSetup& setup) {
    const PlayerOptions& o = setup.options;
    json options = {
        {"quality", o.quality},
        // The page has the movie's origin, so "sameDomain" holds for it by construction;
        // what the movie calls goes to the launcher alone.
        {"allowScriptAccess", !IsNever(o.allowScriptAccess)},
        {"allowFullscreen", o.allowFullScreen},
        {"wmode", o.wmode},
        {"menu", o.menu},
        {"parameters", o.flashVars},
    };
    if (o.warnings) {
        options["logLevel"] = "warn";
    }
    // Listed servers by their port; a policy host's every port, spelt out by the page.
    json sockets = json::array();
    json policyHosts = json::array();
    for (const GameRelay::Proxy& proxy : setup.proxies) {
        json entry = {{"host", proxy.host}, {"proxyUrl", proxy.url}};
        if (proxy.port != 0) {
            entry["port"] = proxy.port;
            sockets.push_back(std::move(entry));
        } else {
            policyHosts.push_back(std::move(entry));
        }
    }
    json page = {
        {"files", setup.files},
        {"movie", setup.movie},
        {"options", std::move(options)},
        {"sockets", std::move(sockets)},
        {"policyHosts", std::move(policyHosts)},
        {"bridge", setup.bridge},
        {"channel", setup.channel},
        {"texts",
         {{"loading", kPlayerLoadingText},
          {"failed", "游戏载入失败"},
          {"broken", "游戏文件无法下载或无法播放。"},
          {"noPlayer", "Flash 播放器无法启动。"},
          {"wayOut", "请点击右上角的刷新按钮或按 F5 重新进入游戏。"}}},
    };
    if (o.consoleToHost) {
        page["consoleToHost"] = true;
    }
    if (!setup.fontUrl.empty()) {
        page["font"] = {{"url", setup.fontUrl}, {"families", setup.fontFamilies}};
    }
    return page;
}

}  // namespace

std::string BuildPlayerPage(const PlayerPageSetup& setup) {
    const std::string& nonce = setup.nonce;
    // Only the launcher's scripts run here: no inline script without this page's nonce, no
    // code made from text, no javascript: addresses.
    const std::string policy = "script-src 'nonce-" + nonce + "' " + setup.scriptOrigin +
                               " 'wasm-unsafe-eval'; worker-src blob:; object-src 'none'; "
                               "base-uri 'none'";
    std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
        policy +
        "\"><style>"
        "html,body{margin:0;width:100%;height:100%;overflow:hidden;background:#000}"
        "#player{display:block;width:100%;height:100%}"
        "#status{position:absolute;left:0;top:0;right:0;bottom:0;display:flex;"
        "flex-direction:column;align-items:center;justify-content:center;color:#e8dccb;"
        "font:16px 'Noto Sans CJK SC','Microsoft YaHei',sans-serif;pointer-events:none}"
        "#status[hidden]{display:none}#status h1{font-size:22px;color:#ffb45a}"
        "#status small{color:#8a7a6a}</style></head><body>"
        "<div id=\"status\">" +
        std::string(kPlayerLoadingText) + "</div>";
    const std::string open = "<script nonce=\"" + nonce + "\">";
    page += open + "window.__tavrinFlashSetup=" + JsonForScriptElement(Dump(SetupObject(setup))) +
            ";</script>";
    for (const std::string& script : setup.preludeScripts) {
        page += open + ForScriptElement(script) + "</script>";
    }
    page += "<script src=\"" + setup.files + "ruffle.js\"></script>";
    page += open + ForScriptElement(setup.pageScript) + "</script></body></html>";
    return page;
}

namespace {

std::string StringAt(const json& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

double NumberAt(const json& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->is_number() ? found->get<double>() : 0;
}

}  // namespace

PageMessage ParsePageMessage(const std::string& text) {
    PageMessage message;
    const json parsed = json::parse(text, nullptr, false);
    if (!parsed.is_object()) {
        return message;
    }
    static const char* const kKinds[] = {"flashcall", "fscommand", "navigate", "socket",
                                         "started",   "failed",    "console",  "relay"};
    message.kind = StringAt(parsed, "kind");
    if (std::find(std::begin(kKinds), std::end(kKinds), message.kind) == std::end(kKinds)) {
        return {};
    }
    message.request = StringAt(parsed, "request");
    message.command = StringAt(parsed, "command");
    message.args = StringAt(parsed, "args");
    message.url = StringAt(parsed, "url");
    message.reason = StringAt(parsed, "reason");
    message.detail = StringAt(parsed, "detail");
    message.level = StringAt(parsed, "level");
    message.op = StringAt(parsed, "op");
    if (message.kind == "relay" && !Base64Decode(StringAt(parsed, "data"), message.data)) {
        return {};
    }
    const auto movie = parsed.find("movie");
    if (movie != parsed.end() && movie->is_object()) {
        message.movieJson = Dump(*movie);
        message.movie.swfVersion = static_cast<int>(NumberAt(*movie, "swfVersion"));
        const auto as3 = movie->find("isActionScript3");
        message.movie.actionScript3 = as3 != movie->end() && as3->is_boolean() && as3->get<bool>();
        message.movie.width = NumberAt(*movie, "width");
        message.movie.height = NumberAt(*movie, "height");
        message.movie.frameRate = NumberAt(*movie, "frameRate");
    }
    return message;
}

std::string SocketAnswer(const std::string& url, const std::string& error) {
    return Dump(url.empty() ? json{{"error", error}} : json{{"url", url}});
}

std::string SocketAnswer(const GameRelay::Answer& answer) {
    const bool open = answer.result == GameRelay::Answer::Result::kConnected ||
                      answer.result == GameRelay::Answer::Result::kPending;
    return open ? SocketAnswer(answer.url, {}) : SocketAnswer({}, answer.detail);
}

void AnswerRelayMessage(GameRelay& relay, const PageMessage& message,
                        std::function<void(std::string)> answer) {
    const auto ok = [](bool ok) { return Dump(json{{"ok", ok}}); };
    if (message.op == "open") {
        answer(ok(relay.ChannelOpen(message.url)));
    } else if (message.op == "send") {
        relay.ChannelSend(message.url, message.data,
                          [answer = std::move(answer), ok](bool taken) { answer(ok(taken)); });
    } else if (message.op == "receive") {
        relay.ChannelReceive(message.url, [answer = std::move(answer)](
                                              const GameRelay::Received& received) {
            answer(received.closeCode != 0 ? Dump(json{{"closed", received.closeCode}})
                                           : Dump(json{{"data", Base64Encode(received.bytes)}}));
        });
    } else {
        if (message.op == "close") {
            relay.ChannelClose(message.url);
        }
        answer(ok(message.op == "close"));
    }
}

std::string CallFunctionScript(const std::string& request) {
    return "(function(r){try{return window.__tavrinCallFunction(r);}catch(e){return null;}})(" +
           Dump(json(request)) + ")";
}

std::string BridgeMessageFromQuery(const std::string& query) {
    std::size_t at = 0;
    while (at <= query.size()) {
        std::size_t end = query.find('&', at);
        if (end == std::string::npos) {
            end = query.size();
        }
        if (query.compare(at, 2, "m=") == 0) {
            return UrlDecode(std::string_view(query).substr(at + 2, end - at - 2));
        }
        at = end + 1;
    }
    return {};
}

}  // namespace tavrin
