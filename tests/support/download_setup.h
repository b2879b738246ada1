// Setting up the downloader for a test.
#pragma once

#include <cstdint>
#include <string>

#include "net/download_options.h"

namespace tavrin::test {

// Sends downloads through the proxy of `type` (kProxyHttp, kProxySocks5 ...) listening on
// 127.0.0.1:`port`. A non-empty `user` is given with `password` (and switches proxy
// authentication on); an empty one leaves the proxy credentials as they are.
void UseProxy(DownloadOptions& options, int type, std::uint16_t port, const std::string& user = "",
              const std::string& password = "");

}  // namespace tavrin::test
