// Setting up the downloader for a test.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {
class CHttpDownload;
}

namespace tavrin::test {

// Sends `download` through the proxy of `type` (kProxyHttp, kProxySocks5 ...) listening on
// 127.0.0.1:`port`. A non-empty `user` is given with `password` (and switches proxy
// authentication on); an empty one leaves the download's proxy credentials as they are.
void UseProxy(CHttpDownload& download, int type, std::uint16_t port, const std::string& user = "",
              const std::string& password = "");

}  // namespace tavrin::test
