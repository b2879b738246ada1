// Stands for Microsoft's WebView2 Runtime bootstrapper (MicrosoftEdgeWebview2Setup.exe) in the
// installer test: the real one needs the network and installs nothing under Wine.
//   TAVRIN_FAKE_SETUP_MARKER   a file it writes its arguments to (one line), to show it ran
//   TAVRIN_FAKE_SETUP_VERSION  when set, registers that runtime version for the current user,
//                              as the real bootstrapper does when run without elevation
//   TAVRIN_FAKE_SETUP_EXIT     its exit status (default 0)
//   TAVRIN_FAKE_SETUP_SECONDS  how long it takes before it ends (default 0)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    char marker[MAX_PATH];
    if (GetEnvironmentVariableA("TAVRIN_FAKE_SETUP_MARKER", marker, sizeof marker) == 0) {
        return 2;
    }
    std::FILE* out = std::fopen(marker, "w");
    if (out == nullptr) {
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::fprintf(out, i == 1 ? "%s" : " %s", argv[i]);
    }
    std::fputc('\n', out);
    std::fclose(out);

    char version[64];
    DWORD length = GetEnvironmentVariableA("TAVRIN_FAKE_SETUP_VERSION", version, sizeof version);
    if (length > 0 && length < sizeof version) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\EdgeUpdate\\Clients\\"
                            "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
                            0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return 2;
        }
        LONG written = RegSetValueExA(key, "pv", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                      length + 1);
        RegCloseKey(key);
        if (written != ERROR_SUCCESS) {
            return 2;
        }
    }

    char seconds[16];
    if (GetEnvironmentVariableA("TAVRIN_FAKE_SETUP_SECONDS", seconds, sizeof seconds) > 0) {
        Sleep(static_cast<DWORD>(std::atoi(seconds)) * 1000);
    }
    char status[16];
    if (GetEnvironmentVariableA("TAVRIN_FAKE_SETUP_EXIT", status, sizeof status) == 0) {
        return 0;
    }
    return std::atoi(status);
}
