// Which addresses belong to the operator's own site: those whose host has the same
// registrable domain (the part of the name its owner registered, by the public suffix list:
// "www.op.example.co.uk" and "cdn.op.example.co.uk" share "op.example.co.uk", while
// "a.github.io" and "b.github.io" share nothing) as an address the operator gave us.
#pragma once

#include <string>
#include <vector>

namespace tavrin {

// The host of an address ("scheme://[user@]host[:port]/..."), lower case, an IPv6 address
// without brackets; empty when there is none.
std::string HostOfAddress(const std::string& url);

// The registrable domain of a host, lower case. An address, or a name of which the list
// knows no registrable part (a public suffix itself, "localhost"), stands for itself.
std::string RegistrableDomain(const std::string& host);

// True when the host of `url` has the registrable domain of one of `siteUrls`' hosts.
bool OnOperatorSite(const std::string& url, const std::vector<std::string>& siteUrls);

}  // namespace tavrin
