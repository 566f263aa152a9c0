// Load and unload of orvanet.dll: Windows Sockets 1.1 is started on process
// attach (the load fails without it) and cleaned up on process detach, after
// every handle still open has been closed as ORVAClose closes it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <mutex>

#include "connection_table.h"
#include "platform/socket.h"

namespace {

constexpr char startupFailedText[] = "Fehler beim Initialisieren der Windows-Sockets.";
constexpr char messageTitle[] = "orvanet";

// Set only when the attach started the socket layer: a failed attach is
// followed by a detach, which must not clean up a start that never happened
// (it would take one from the host program's own count).
bool socketLayerStarted = false;

// FreeLibrary: no call can be running (the caller must not unload the DLL
// while using it), so every slot is closed under its lock.
void closeAllOnUnload() { orva::connectionTable().closeAll(); }

// Process exit: Windows has already ended the other threads, and a thread
// ended inside an export call still owns its slot's lock. Such a slot is left
// to the system; waiting for it would hang the exit.
void closeAllOnProcessExit() {
    orva::ConnectionTable& table = orva::connectionTable();
    for (int slot = 0; slot < orva::ConnectionTable::slotCount; ++slot) {
        std::unique_lock lock(table.lockOf(slot), std::try_to_lock);
        if (lock.owns_lock()) (void)table.close(slot);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!orva::platform::startSocketLayer()) {
            ::MessageBoxA(nullptr, startupFailedText, messageTitle, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
            return FALSE;
        }
        socketLayerStarted = true;
        // The table with its 64 slot locks exists from here on, all slots free.
        (void)orva::connectionTable();
        ::DisableThreadLibraryCalls(instance);
        return TRUE;
    case DLL_PROCESS_DETACH:
        if (reserved == nullptr) {
            closeAllOnUnload();
        } else {
            closeAllOnProcessExit();
        }
        if (socketLayerStarted) {
            orva::platform::stopSocketLayer();
            socketLayerStarted = false;
        }
        return TRUE;
    default:
        return TRUE;
    }
}
