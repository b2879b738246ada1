#include "support/download_setup.h"

#include "net/http_download.h"

namespace tavrin::test {

void UseProxy(CHttpDownload& download, int type, std::uint16_t port, const std::string& user,
              const std::string& password) {
    download.m_nProxyType = type;
    download.m_strProxyHost = "127.0.0.1";
    download.m_nProxyPort = port;
    if (!user.empty()) {
        download.m_bProxyAuth = 1;
        download.m_strProxyUser = user;
        download.m_strProxyPassword = password;
    }
}

}  // namespace tavrin::test
