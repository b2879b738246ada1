// Text across the Win32 boundary: the core speaks UTF-8 (messages, page addresses) and the
// active code page (file names, the base name); the windows speak UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace tavrin::win {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
// Text in the active code page (936 for Chinese Windows), as the core keeps names and paths.
std::wstring WideFromAnsi(std::string_view ansi);

// The name the windows' captions and the boxes carry: the operator's product name when the
// build has one, else the program's base name.
std::wstring CaptionName();

}  // namespace tavrin::win
