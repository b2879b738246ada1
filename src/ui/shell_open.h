// Opening the operator's addresses in the user's default browser.
#pragma once

#include <functional>
#include <string>

namespace tavrin::ui {

// Opens the address with the desktop's default browser. An empty address does nothing;
// anything but an http or https address is refused (and said so on the error output).
void OpenInDefaultBrowser(const std::string& address);

// Tests see the addresses instead of a browser opening. An empty function restores the
// real behaviour.
void SetOpenUrlHook(std::function<void(const std::string&)> hook);

}  // namespace tavrin::ui
