// SPDX-License-Identifier: Apache-2.0
// Starts orvapanel.exe itself, as a user does, and waits for its window: the
// program finds orvanet.dll beside it, shows the dialog with its logo (from
// beside the program: the working directory here has none) and ends when the
// window is closed. Prints the time from the start of the process to the
// shown window.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "resource.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvapanel_startup PATH\\orvapanel.exe\n");
        return 2;
    }
    std::string commandLine = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const auto begin = std::chrono::steady_clock::now();
    if (!CreateProcessA(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    HWND window = nullptr;
    while (window == nullptr || !IsWindowVisible(window)) {
        if (WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "orvapanel.exe ended before its window showed\n");
            return 1;
        }
        if (std::chrono::steady_clock::now() - begin > std::chrono::seconds(30)) {
            std::fprintf(stderr, "no window within 30 s\n");
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
        window = FindWindowA("#32770", "ORVA-NET-DEMO");
    }
    const auto shown = std::chrono::steady_clock::now();
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    const bool ours = owner == process.dwProcessId;
    const bool logo = SendMessageA(GetDlgItem(window, IDC_LOGO), STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
    PostMessageA(window, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("orvapanel.exe: window shown %lld ms after the start of the process\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(shown - begin).count()));
    if (!ours) std::fprintf(stderr, "the window is not orvapanel.exe's\n");
    if (!logo) std::fprintf(stderr, "no logo: oem.bmp beside the program was not shown\n");
    if (!ended || exitCode != 0) std::fprintf(stderr, "orvapanel.exe did not end with 0 after WM_CLOSE\n");
    return ours && logo && ended && exitCode == 0 ? 0 : 1;
}
