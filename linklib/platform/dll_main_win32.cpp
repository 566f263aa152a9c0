// SPDX-License-Identifier: Apache-2.0
// Load and unload of orvanet.dll: Windows Sockets 1.1 is started on process
// attach (the load fails without it) and cleaned up on process detach, after
// every handle still open has been closed as ORVAClose closes it.
#include <windows.h>

#include "platform/lifetime.h"
#include "platform/socket.h"

namespace {

// The only text the library ever shows itself, kept word for word in German:
// it is what the users of this DLL know, and search for, when Windows Sockets
// cannot start on a machine.
constexpr char startupFailedText[] = "Fehler beim Initialisieren der Windows-Sockets.";
constexpr char messageTitle[] = "orvanet";

// Set only when the attach started the socket layer: a failed attach is
// followed by a detach, which must not clean up a start that never happened
// (it would take one from the host program's own count).
bool socketLayerStarted = false;

// Set by the handle table when it is made; unset when no handle was ever opened.
orva::platform::UnloadActions unloadActions;

}  // namespace

namespace orva::platform {

void setUnloadActions(UnloadActions actions) { unloadActions = actions; }

}  // namespace orva::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!orva::platform::startSocketLayer()) {
            ::MessageBoxA(nullptr, startupFailedText, messageTitle, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
            return FALSE;
        }
        socketLayerStarted = true;
        ::DisableThreadLibraryCalls(instance);
        return TRUE;
    case DLL_PROCESS_DETACH:
        // FreeLibrary (reserved null): no call can be running, every handle is
        // closed. Process exit: Windows has already ended the other threads, and
        // one ended inside a call still owns its handle's lock; waiting for it
        // would hang the exit.
        if (reserved == nullptr) {
            if (unloadActions.closeAll != nullptr) unloadActions.closeAll();
        } else if (unloadActions.closeAllNotInUse != nullptr) {
            unloadActions.closeAllNotInUse();
        }
        if (socketLayerStarted) {
            orva::platform::stopSocketLayer();
            socketLayerStarted = false;
        }
        return TRUE;
    default: return TRUE;
    }
}
