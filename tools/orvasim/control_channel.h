/* SPDX-License-Identifier: Apache-2.0 */
// An opt-in control channel of the simulator: a line-based text protocol on
// TCP, so that a test program in another process (a Windows test under Wine,
// which cannot link the simulator) can arm faults and read back what the
// adapter saw.
//
// Each request is one line of words separated by spaces. The reply is zero or
// more data lines, then one line "ok" or "error <reason>".
//
//   ping
//   reset                               clears the faults and the record
//   clear faults | clear record
//   fault confirm NAME [VALUE [0]]      arms a fault for the next CR
//   fault reply NAME [VALUE [PAUSE]]    arms a fault for the next request
//                                       (NAME: one of faultTable, sim_faults.h)
//   crs                                 one line per CR telegram, hex
//   dts                                 one line per DT telegram, hex
//   ends                                one line per accepted connection:
//                                       open, orderly or reset
//   accepted | open                     one line: a count
//   read AREA BLOCK OFFSET COUNT        one line: COUNT bytes of memory, hex
//   write AREA BLOCK OFFSET HEX
//   blocksize AREA BLOCK WORDS          AREA a data block: D or X
//   set VARIABLE=VALUE                  one line: the value as written,
//                                       "DB5.DD30:KG = 12.5"
//   show VARIABLE                       one line: its value, "T3:KT = 1.5s"
//
// AREA is one of D X M E A T Z, or any spelling of the other tools (DB, DX,
// O, I, C, either case); a block spelled with its area (DB5, D5, DX7, X7)
// takes the place of BLOCK: "read DB5 0 4". OFFSET and COUNT are in bytes.
// Numbers are decimal or 0x hex. A VARIABLE is one of the variables library
// (DB5.DD30:KG, M10.3, MW20:KF, T3:KT; docs/variables.md), the rest of the
// line after the command, blanks included; its VALUE as ORVAVarsSetText reads
// it (12.5, true, 1.5s, text). The record (crs, dts, ends, accepted) counts
// from the last reset or clear record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sim_server.h"

namespace orvasim {

// Serves one request line against server; the whole reply, each line ending in '\n'.
std::string controlReply(Server& server, std::string_view line);

class ControlChannel {
public:
    // Not copied: it owns its state, and its thread works on that state.
    ControlChannel(Server& server, std::string address, std::uint16_t port);
    ~ControlChannel();  // stops

    // Binds, listens and starts serving. False, with a reason, when it cannot.
    bool start(std::string* error = nullptr);
    // Closes the listener and every client and joins the thread.
    void stop();
    std::uint16_t port() const;  // the bound port (useful with port 0)

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace orvasim
