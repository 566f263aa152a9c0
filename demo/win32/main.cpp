// SPDX-License-Identifier: Apache-2.0
// orvapanel.exe: the panel's dialog, run modally; the program ends with it.
#include "native_dialog.h"  // windows.h first

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The list view's window class.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    orvapanel::win32::runDemoDialog(instance, orvapanel::orvanetLink());
    return 0;
}
