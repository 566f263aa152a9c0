/* SPDX-License-Identifier: Apache-2.0 */
// Socket calls that fail on request, from outside the library: a shared object
// that test programs link (ahead of the C library), which stands in for
// socket, setsockopt, send and poll. Unarmed, every call goes straight to the
// C library. Armed, it acts only on the sockets created after arming (the
// library's own, not the test peers' accepted ones).
#pragma once

namespace orvatest::faults {

// Forgets every armed fault and every socket it was watching.
void reset();

// The next socket() call fails with errno error (EMFILE, ENOBUFS, ...).
void failNextSocket(int error);

// setsockopt(SOL_SOCKET, option) on a watched socket fails with errno error.
void failOption(int option, int error);

// The sendIndex-th send on watched sockets (0 = the first after arming) sends
// only keepBytes; the send after it fails with errno error.
void cutSend(int sendIndex, int keepBytes, int error);

// From the sendIndex-th send on, watched sockets act as if their send buffer
// stayed full: a blocking send waits for the socket's send time-out and fails
// with EAGAIN (or EINTR when a signal comes), a non-blocking one fails at once,
// and poll never reports them writable.
void stallSends(int sendIndex);

// The sendIndex-th send on watched sockets waits delayMs (as a blocking send
// waits for room in a full buffer, a signal ending the wait early), then sends
// only keepBytes; from the send after it on, sends stall as with stallSends.
// Part of a telegram moves late in the send time-out, and then nothing.
void sendPartLateThenStall(int sendIndex, int keepBytes, int delayMs);

// Sends made on watched sockets since arming.
int sendsSeen();

}  // namespace orvatest::faults
