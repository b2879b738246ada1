// What the screen shows: an operator's check and the self-test look at it to learn whether
// the engine drew a page or a movie (the engine draws in its own windows, which no message
// of ours paints), and keep it as a PNG file.
#pragma once

#include <windows.h>

#include <string>

#include "win/picture.h"

namespace tavrin::win {

// The screen's pixels in `area` (screen coordinates); null when they cannot be read.
Picture CaptureScreen(const RECT& area);
// True when the picture holds more than one colour.
bool ShowsSomething(const Picture& picture);
// Writes the picture as a PNG file; false when it cannot.
bool SavePng(const Picture& picture, const std::wstring& path);

}  // namespace tavrin::win
