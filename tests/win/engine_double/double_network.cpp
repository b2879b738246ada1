// The double's network and cookie store: documents and requests the launcher does not answer
// come from the real peer over WinInet, with the store's cookies; what the peer sets goes
// into the store, which the launcher reads through the cookie manager.
#include <windows.h>

#include <wininet.h>

#include <ctime>

#include "engine_double/double_args.h"
#include "engine_double/double_state.h"
#include "win/win_text.h"

namespace tavrin::test::engine_double {

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A Set-Cookie line as a browser keeps it (the attributes the launcher reads back).
bool ParseSetCookie(const std::string& line, const std::string& host,
                    platform::BrowserCookie& out) {
    std::size_t start = 0;
    bool first = true;
    out = {};
    out.domain = host;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find(';', start), line.size());
        const std::string part = Trimmed(line.substr(start, end - start));
        start = end + 1;
        const std::size_t equals = part.find('=');
        const std::string name = Trimmed(part.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? "" : Trimmed(part.substr(equals + 1));
        if (first) {
            if (equals == std::string::npos || name.empty()) {
                return false;
            }
            out.name = name;
            out.value = value;
            first = false;
            continue;
        }
        const std::string attribute = LowerAscii(name);
        if (attribute == "domain" && !value.empty()) {
            out.domain = LowerAscii(value[0] == '.' ? value.substr(1) : value);
            out.hostOnly = false;
        } else if (attribute == "path" && !value.empty() && value[0] == '/') {
            out.path = value;
        } else if (attribute == "secure") {
            out.secure = true;
        } else if (attribute == "httponly") {
            out.httpOnly = true;
        } else if (attribute == "max-age") {
            out.expires = static_cast<std::int64_t>(std::time(nullptr)) + std::atoll(value.c_str());
            if (out.expires <= std::time(nullptr)) {
                out.expires = 1;  // already gone
            }
        }
    }
    return true;
}

std::string HostOf(const std::string& uri) {
    const std::size_t begin = uri.find("://");
    if (begin == std::string::npos) {
        return {};
    }
    const std::size_t end = uri.find_first_of(":/?", begin + 3);
    return LowerAscii(uri.substr(begin + 3, end - begin - 3));
}

std::wstring QueryText(HINTERNET request, DWORD what, DWORD* index) {
    DWORD size = 0;
    HttpQueryInfoW(request, what, nullptr, &size, index);
    if (size == 0) {
        return {};
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!HttpQueryInfoW(request, what, text.data(), &size, index)) {
        return {};
    }
    text.resize(size / sizeof(wchar_t));
    return text;
}

class Cookie : public Com<wv2::ICoreWebView2Cookie> {
public:
    explicit Cookie(platform::BrowserCookie cookie) : m_cookie(std::move(cookie)) {}
    HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* out) override {
        *out = Dup(m_cookie.name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Value(LPWSTR* out) override {
        *out = Dup(m_cookie.value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Domain(LPWSTR* out) override {
        if (State().failCookieDomains) {
            return E_FAIL;  // `out` untouched
        }
        *out = Dup((m_cookie.hostOnly ? "" : ".") + m_cookie.domain);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* out) override {
        *out = Dup(m_cookie.path);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Expires(double* out) override {
        *out = m_cookie.expires == 0 ? -1.0 : static_cast<double>(m_cookie.expires);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsHttpOnly(BOOL* out) override {
        *out = m_cookie.httpOnly;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsSecure(BOOL* out) override {
        *out = m_cookie.secure;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsSession(BOOL* out) override {
        *out = m_cookie.expires == 0;
        return S_OK;
    }
    DOUBLE_UNUSED(put_Value)
    DOUBLE_UNUSED(put_Expires)
    DOUBLE_UNUSED(put_IsHttpOnly)
    DOUBLE_UNUSED(get_SameSite)
    DOUBLE_UNUSED(put_SameSite)
    DOUBLE_UNUSED(put_IsSecure)

private:
    platform::BrowserCookie m_cookie;
};

class CookieList : public Com<wv2::ICoreWebView2CookieList> {
public:
    HRESULT STDMETHODCALLTYPE get_Count(UINT32* out) override {
        *out = static_cast<UINT32>(items.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT32 index,
                                              wv2::ICoreWebView2Cookie** out) override {
        if (index >= items.size()) {
            return E_INVALIDARG;
        }
        items[index]->AddRef();
        *out = items[index].Get();
        return S_OK;
    }
    std::vector<ComPtr<Cookie>> items;
};

class CookieManager : public Com<wv2::ICoreWebView2CookieManager> {
public:
    HRESULT STDMETHODCALLTYPE
    GetCookies(LPCWSTR uri, wv2::ICoreWebView2GetCookiesCompletedHandler* done) override {
        if (done == nullptr) {
            return E_POINTER;
        }
        const std::string host = HostOf(win::Utf8FromWide(uri != nullptr ? uri : L""));
        auto handler = ComPtr<wv2::ICoreWebView2GetCookiesCompletedHandler>::Share(done);
        Later([handler, host] {
            auto list = Make<CookieList>();
            for (const auto& cookie : State().cookies) {
                if (host.empty() || host == cookie.domain ||
                    (!cookie.hostOnly && host.ends_with("." + cookie.domain))) {
                    list->items.push_back(Make<Cookie>(cookie));
                }
            }
            std::vector<ComPtr<wv2::ICoreWebView2GetCookiesCompletedHandler>> one{handler};
            Raise(one, S_OK, static_cast<wv2::ICoreWebView2CookieList*>(list.Get()));
        });
        return S_OK;
    }
    DOUBLE_UNUSED(CreateCookie)
    DOUBLE_UNUSED(CopyCookie)
};

}  // namespace

void StoreCookie(const platform::BrowserCookie& cookie) {
    auto& cookies = State().cookies;
    std::erase_if(cookies, [&](const platform::BrowserCookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (cookie.expires == 0 || cookie.expires > std::time(nullptr)) {
        cookies.push_back(cookie);
    }
}

ComPtr<wv2::ICoreWebView2CookieManager> MakeCookieManager() {
    return Upcast<wv2::ICoreWebView2CookieManager>(Make<CookieManager>());
}

DoubleResponse FetchFromNetwork(const std::string& uri) {
    DoubleResponse got;
    if (uri == "about:blank") {
        got.status = 200;
        return got;
    }
    const std::string host = HostOf(uri);
    if (host.empty() || host.ends_with(".invalid")) {
        return got;  // never looked up
    }
    HINTERNET session = InternetOpenW(
        L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
        L"like Gecko) Chrome/131.0.2903.99 Safari/537.36 Edg/131.0.2903.99 "
        L"TavrinEngineDouble",
        INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    const std::string cookie = platform::CookieHeaderFor(
        uri, State().cookies, static_cast<std::int64_t>(std::time(nullptr)));
    const std::wstring headers =
        cookie.empty() ? L"" : win::WideFromUtf8("Cookie: " + cookie + "\r\n");
    HINTERNET request =
        session == nullptr
            ? nullptr
            : InternetOpenUrlW(
                  session, win::WideFromUtf8(uri).c_str(),
                  headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                      INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI,
                  0);
    if (request != nullptr) {
        DWORD status = 0;
        DWORD size = sizeof status;
        HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr);
        got.status = static_cast<int>(status);
        got.headers = win::Utf8FromWide(QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr));
        for (DWORD index = 0;;) {
            const DWORD before = index;
            const std::wstring line = QueryText(request, HTTP_QUERY_SET_COOKIE, &index);
            if (line.empty() || index == before) {
                break;
            }
            platform::BrowserCookie parsed;
            if (ParseSetCookie(win::Utf8FromWide(line), host, parsed)) {
                StoreCookie(parsed);
            }
        }
        char buffer[16384];
        DWORD read = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0) {
            got.body.append(buffer, read);
        }
        InternetCloseHandle(request);
    }
    if (session != nullptr) {
        InternetCloseHandle(session);
    }
    return got;
}

}  // namespace tavrin::test::engine_double
