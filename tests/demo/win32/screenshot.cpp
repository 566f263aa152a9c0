// SPDX-License-Identifier: Apache-2.0
// Takes a picture of the native dialog, frame and title bar included, after
// docs/orvapanel.md's walkthrough: ten words of data block 5 read from the simulator
// at the walkthrough's address, both TSAPs empty. The program runs in a
// virtual desktop of Wine's (screenshot.sh), so the screen holds what a user
// would see. Writes the picture as a BMP file named by its one argument, only
// when the read showed what the simulator holds.
#include <cstdio>
#include <string>
#include <vector>

#include "external_env.h"
#include "panel_driver.h"
#include "resource.h"
#include "sim_control.h"

using namespace panel_test;

namespace {

bool writeBmp(const char* path, HDC screen, const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr) return false;
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, picture);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
    GdiFlush();
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    bool written = false;
    if (copied) {
        if (FILE* out = std::fopen(path, "wb")) {
            written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                      std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                      std::fwrite(bits, imageBytes, 1, out) == 1;
            written = std::fclose(out) == 0 && written;
        }
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(picture);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvapanel_screenshot OUTPUT.bmp\n");
        return 2;
    }
    namespace w = walkthrough;
    const orvaext::SocketLayer socketLayer;
    orvaext::SimControl sim(orvaext::simControl());
    sim.reset();
    sim.write('D', w::block, 2 * w::start, w::bytes());
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    Panel p;
    if (p.window == nullptr) return 1;
    p.selectArea(w::areaItem);
    p.openAt(w::address);  // both TSAPs left empty
    p.read('W', std::to_wstring(w::block), std::to_wstring(w::start), std::to_wstring(w::count));
    std::vector<std::wstring> expected;
    for (const std::string& row : w::rows) expected.push_back(wide(row));
    if (p.rows() != expected || !p.messages().empty() || p.text(IDC_STATUS) != wide(says::success)) {
        std::fprintf(stderr, "the read did not show the simulator's words\n");
        return 1;
    }
    SetWindowPos(p.window, HWND_TOP, 8, 8, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(p.window);
    SendMessageW(p.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(p.item(IDC_READWORDS)), TRUE);
    RedrawWindow(p.window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);  // until the desktop has drawn it

    RECT frame;
    GetWindowRect(p.window, &frame);
    HDC screen = GetDC(nullptr);
    const bool written = writeBmp(argv[1], screen, frame);
    ReleaseDC(nullptr, screen);
    p.press(IDC_CLOSE);
    p.press(IDOK);
    p.waitForEnd();
    if (!written) std::fprintf(stderr, "could not write %s\n", argv[1]);
    return written ? 0 : 1;
}
