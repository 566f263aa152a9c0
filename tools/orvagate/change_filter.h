/* SPDX-License-Identifier: Apache-2.0 */
// Whether a reading is published: on every poll, or when it differs from the
// one published last (for numbers: by more than the deadband).
#pragma once

#include "config.h"
#include "variable_list.h"

namespace orvagate {

// last: the reading published last, null when none was.
bool shouldPublish(PublishMode mode, double deadband, const Reading* last, const Reading& now);

}  // namespace orvagate
