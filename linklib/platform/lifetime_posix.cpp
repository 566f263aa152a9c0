// SPDX-License-Identifier: Apache-2.0
// On POSIX the unload of the library (dlclose, or the process's exit) runs the
// handle table's destructor, which closes every handle: nothing to hook.
#include "platform/lifetime.h"

namespace orva::platform {

void setUnloadActions(UnloadActions) {}

}  // namespace orva::platform
