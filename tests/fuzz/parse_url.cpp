// Addresses from configuration documents and redirects: whatever ParseUrl accepts must come
// apart into a host without separators and a path, and put back together give the same parts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/http_parse.h"

using tavrin::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    std::string host = "stale";
    std::string object = "stale";
    std::uint16_t port = 1;
    if (!tavrin::ParseUrl(url, host, object, port)) {
        Check(host.empty() && object.empty() && port == 0, "a refused address leaves nothing");
        return 0;
    }
    Check(!object.empty() && object.front() == '/', "the path starts with a slash");
    Check(host.find_first_of("/:") == std::string::npos, "the host holds no separator");

    const std::string rebuilt = "http://" + host + ":" + std::to_string(port) + object;
    std::string host2;
    std::string object2;
    std::uint16_t port2 = 0;
    Check(tavrin::ParseUrl(rebuilt, host2, object2, port2), "the rebuilt address parses");
    Check(host2 == host && object2 == object && port2 == port, "the rebuilt address agrees");
    return 0;
}
