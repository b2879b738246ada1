// Stands for a launcher in the Windows self-update test, where no web engine runs.
//   new_launcher.exe                      the new launcher an update package carries: appends
//                                         "new launcher started: PATH; handed-on locks: LIST"
//                                         to the file named by TAVRIN_DEMO_UPDATE_LOG
//   new_launcher.exe --hand-over SECONDS PROGRAM ARGUMENT
//                                         a launcher that hands over to PROGRAM with
//                                         ARGUMENT and lives SECONDS more, so that the
//                                         updater has to wait for it
//   new_launcher.exe --hold FILE SECONDS  keeps FILE open without sharing it for SECONDS, as
//                                         a virus scanner does; prints "holding" once it does
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--hand-over") == 0) {
        std::string command = std::string("\"") + argv[3] + "\" " + argv[4];
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(argv[3], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            return 1;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        Sleep(static_cast<DWORD>(std::atoi(argv[2]) * 1000));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--hold") == 0) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return 1;
        }
        std::puts("holding");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atoi(argv[3]) * 1000));
        CloseHandle(file);
        return 0;
    }
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    char locks[256] = "none";
    GetEnvironmentVariableA("TAVRIN_HANDED_ON_LOCKS", locks, sizeof locks);
    char log[MAX_PATH];
    if (GetEnvironmentVariableA("TAVRIN_DEMO_UPDATE_LOG", log, sizeof log) == 0) {
        return 1;
    }
    std::FILE* out = std::fopen(log, "a");
    if (out == nullptr) {
        return 1;
    }
    std::fprintf(out, "new launcher started: %s; handed-on locks: %s\n", path, locks);
    std::fclose(out);
    return 0;
}
