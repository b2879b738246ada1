#include <windows.h>

#include <cstdio>

#include "platform/console.h"

namespace tavrin::platform {

namespace {

bool LeadsSomewhere(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseStartingConsole() {
    const bool output = LeadsSomewhere(STD_OUTPUT_HANDLE);
    const bool error = LeadsSomewhere(STD_ERROR_HANDLE);
    if ((output && error) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (!output) {
        std::freopen("CONOUT$", "w", stdout);
    }
    if (!error) {
        std::freopen("CONOUT$", "w", stderr);
    }
}

}  // namespace tavrin::platform
