// The console a command-line run was started from. A Windows program made for the window
// system gets no standard output of its own: what it prints for --help, --version or an
// operator's check would go nowhere unless it writes to the console that started it.
#pragma once

namespace tavrin::platform {

// Sends the standard output and error to the starting console when they lead nowhere (they
// stay where they are when redirected to a file or pipe); nothing where a program always
// has them.
void UseStartingConsole();

}  // namespace tavrin::platform
