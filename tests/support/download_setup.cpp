#include "support/download_setup.h"

#include "net/download_options.h"

namespace tavrin::test {

void UseProxy(DownloadOptions& options, int type, std::uint16_t port, const std::string& user,
              const std::string& password) {
    options.proxy.type = type;
    options.proxy.server.host = "127.0.0.1";
    options.proxy.server.port = port;
    if (!user.empty()) {
        options.proxy.server.auth = true;
        options.proxy.server.user = user;
        options.proxy.server.password = password;
    }
}

}  // namespace tavrin::test
