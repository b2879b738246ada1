// What both systems' transports share about names: the tests' stand-in for the resolver,
// and an address written out.
#include <cstdio>
#include <cstring>
#include <utility>

#include "net/socket_transport.h"

namespace tavrin {

namespace {

std::function<Ipv4Address(const std::string&)>& LookupStandIn() {
    static std::function<Ipv4Address(const std::string&)> standIn;
    return standIn;
}

}  // namespace

void SetHostLookupForTests(std::function<Ipv4Address(const std::string& host)> lookup) {
    LookupStandIn() = std::move(lookup);
}

bool LookUpByStandIn(const std::string& host, Ipv4Address& address) {
    const auto& standIn = LookupStandIn();
    if (!standIn) {
        return false;
    }
    address = standIn(host);
    return true;
}

std::string AddressText(Ipv4Address address) {
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);  // network order: the first byte first
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

}  // namespace tavrin
