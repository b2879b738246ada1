// Addresses for the player's own browser.
#pragma once

#include <functional>
#include <string>

namespace tavrin::win {

// True for an http or https address, the only kind that leaves the launcher, whatever the
// operator's documents or pages say.
bool IsWebAddress(const std::string& address);
// Opens a web address in the default browser; anything else is ignored.
void OpenWebAddress(const std::string& address);
// Tests see the addresses instead of a browser opening (an empty hook opens it again).
void SetBrowserOpenHook(std::function<void(const std::string&)> hook);

}  // namespace tavrin::win
