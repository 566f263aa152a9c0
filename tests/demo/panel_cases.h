/* SPDX-License-Identifier: Apache-2.0 */
// What the tests of the panel expect alike, in the Qt dialog, the native
// Windows dialog and the logic beneath them: the items of the area list, the
// memory a read finds in the adapter and the rows each area shows of it, the
// walkthrough of docs/orvapanel.md that the pictures in docs/ show, and the texts of the
// messages (UTF-8), written out here as the user reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loopback_addresses.h"

namespace panel_test {

enum AreaItem { inputs, outputs, flags, dataBlock, extendedDataBlock, timers, counters };

// Bytes in the adapter's memory, by area letter, block and byte offset.
struct Stored {
    char letter;
    int block;
    int byteOffset;
    std::vector<std::uint8_t> bytes;
};

// What the reads of readsOfEveryArea find.
inline const std::vector<Stored> memoryForReads = {
    {'E', 0, 0, {0x41, 0x20, 0x7F}},
    {'M', 0, 10, {0x41, 0x42, 0x00, 0x41}},  // MW10 0x4142, MW12 0x0041
    {'Z', 0, 6, {0xFF, 0xFF, 0x00, 0x0A}},   // Z 3, Z 4
    {'T', 0, 14, {0x01, 0xF4}},              // T 7
    {'D', 7, 0, {0x01, 0xF4, 0x12, 0x34}},
    {'X', 7, 0, {0x41, 0x42}},
};

// One read: the area item and the edits' texts, the button, the letter the
// library gets, and the rows the list shows ("address|decimal|hex|chars").
struct AreaRead {
    const char* name;
    AreaItem areaItem;
    char unit;  // 'B' or 'W'
    const char *db, *start, *count;
    char letter;
    std::vector<std::string> rows;
};

inline const std::vector<AreaRead> readsOfEveryArea = {
    {"input bytes", inputs, 'B', "1", "0", "3", 'E', {"EB0|65|41|'A'", "EB1|32|20|' '", "EB2|127|7F|"}},
    {"input words step 2", inputs, 'W', "1", "10", "3", 'E', {"EW10|0|00|", "EW12|0|00|", "EW14|0|00|"}},
    {"flag words", flags, 'W', "1", "10", "2", 'M', {"MW10|16706|4142|'BA'", "MW12|65|41|"}},
    {"output bytes", outputs, 'B', "1", "65535", "1", 'A', {"AB65535|0|00|"}},
    {"counter words", counters, 'W', "1", "3", "2", 'Z', {"Z 3|65535|FFFF|", "Z 4|10|0A|"}},
    {"timer words", timers, 'W', "1", "7", "1", 'T', {"T 7|500|1F4|"}},
    {"data block words", dataBlock, 'W', "7", "0", "2", 'D', {"DB 7 DW0|500|1F4|", "DB 7 DW1|4660|1234|"}},
    {"extended data block", extendedDataBlock, 'W', "7", "0", "1", 'X', {"DX 7 DW0|16706|4142|'BA'"}},
};

// docs/orvapanel.md's "Trying it against the simulator", which the pictures docs/orvapanel.png and
// docs/orvapanel-windows.png show: the words orvacli writes to data block 5 (as its command line
// gives them), the address typed, both TSAPs left empty, the area, block and count chosen, and the
// rows the list then shows. demo_logic_tests holds the page's text to these.
namespace walkthrough {
inline constexpr const char* address = orvatest::address::panelWalkthroughSim;  // orvasim's default
inline constexpr const char* orvacliWords = "16706 0x524F 1234 500";
inline const std::vector<std::uint16_t> words = {16706, 0x524F, 1234, 500};
inline constexpr AreaItem areaItem = dataBlock;
inline constexpr int block = 5;   // typed as DBNo
inline constexpr int start = 0;   // the edit's own start value, left as it is
inline constexpr int count = 10;  // typed as count
inline const std::vector<std::string> rows = {"DB 5 DW0|16706|4142|'BA'", "DB 5 DW1|21071|524F|'OR'",
                                              "DB 5 DW2|1234|4D2|",       "DB 5 DW3|500|1F4|",
                                              "DB 5 DW4|0|00|",           "DB 5 DW5|0|00|",
                                              "DB 5 DW6|0|00|",           "DB 5 DW7|0|00|",
                                              "DB 5 DW8|0|00|",           "DB 5 DW9|0|00|"};

// The words as the adapter's memory holds them, high-order byte first.
inline std::vector<std::uint8_t> bytes() {
    std::vector<std::uint8_t> out;
    for (std::uint16_t w : words) {
        out.push_back(static_cast<std::uint8_t>(w >> 8));
        out.push_back(static_cast<std::uint8_t>(w & 0xFF));
    }
    return out;
}
}  // namespace walkthrough

// The messages and status texts.
namespace says {
inline const std::string success = "Aktion erfolgreich. / Action was successfull!";
inline const std::string positiveNumber = "Geben Sie bitte eine positive ganze Zahl ein.";
inline const std::string countRange = "Geben Sie bitte eine ganze Zahl zwischen 1 und 2048 ein.";
inline const std::string dbNumberRange = "Geben Sie bitte eine ganze Zahl zwischen 1 und 255 ein.";
inline const std::string startRange = "Geben Sie bitte eine ganze Zahl zwischen 0 und 65535 ein.";
inline const std::string tsapTooLong = "Geben Sie bitte nicht mehr als 8 Zeichen ein.";
inline const std::string plcError = "Datenbereich in der SPS zu klein. / Data area in PLC too small!";
inline const std::string timeout = "Zeitüberlauf! / Timeout!";
inline const std::string setupFailed =
    "Datenfehler auf Netzwerk, KELVAN hat zu wenig Daten erhalten! / "
    "Data error on network KELVAN didn't receive all data!";
inline const std::string socketError10061 = "Socketfehler Nr: 10061 aufgetreten. / Socket error no:10061 occurred!";
inline const std::string areaNotSupported =
    "Datentyp oder Format wird nicht unterstützt! / Data type or data format not supported!";
inline const std::string noFreeHandle = "Unbekannter Fehler aufgetreten. / Unknown error occured! (-2)";
inline const std::string handleGone = "Unbekannter Fehler aufgetreten. / Unknown error occured! (-99)";
}  // namespace says

}  // namespace panel_test
