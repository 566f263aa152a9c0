/* SPDX-License-Identifier: Apache-2.0 */
// What the library runs when the operating system unloads it. The handle table
// hands its two ways of closing everything to the platform once, when it is
// made; the platform's unload calls whichever fits. The platform knows nothing
// of handles.
#pragma once

namespace orva::platform {

struct UnloadActions {
    // The library is unloaded while the process goes on: no call can be running.
    void (*closeAll)() = nullptr;
    // The process exits: other threads may have ended inside a call and hold
    // their handle's lock for good; only the handles nobody holds are closed.
    void (*closeAllNotInUse)() = nullptr;
};

void setUnloadActions(UnloadActions actions);

}  // namespace orva::platform
