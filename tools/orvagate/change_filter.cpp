// SPDX-License-Identifier: Apache-2.0
#include "change_filter.h"

#include <cmath>

namespace orvagate {
namespace {

bool integral(Value::Kind kind) { return kind == Value::Kind::integer || kind == Value::Kind::time; }

}  // namespace

bool shouldPublish(PublishMode mode, double deadband, const Reading* last, const Reading& now) {
    if (mode == PublishMode::always || last == nullptr) return true;
    // Quality first: a failure, a recovery, or another failure is news.
    if (now.status != last->status || now.socketError != last->socketError) return true;
    if (now.status != 0) return false;
    const Value& a = now.value;
    const Value& b = last->value;
    if (a.kind != b.kind) return true;
    if (!a.numeric()) return !(a == b);
    // Whole numbers compared as such: a double cannot tell 64-bit values apart.
    const double change =
        integral(a.kind) ? std::fabs(static_cast<long double>(a.integer) - b.integer) : std::fabs(a.real - b.real);
    if (std::isnan(change)) return true;
    return change > deadband;
}

}  // namespace orvagate
