// SPDX-License-Identifier: Apache-2.0
// The panel's rules on their own: reading numbers, the order and messages of
// the field exchange, the limits of the row texts, the text handed to the
// library, where the logo is looked for, dialog units, and docs/orvapanel.md's
// walkthrough that the pictures show. The area table, the rows of every area
// and the status texts are tested through the dialog against the simulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "area.h"
#include "dialog_fields.h"
#include "dialog_units.h"
#include "loopback_addresses.h"
#include "panel.h"
#include "panel_cases.h"
#include "read_rows.h"

namespace orvapanel {
namespace {

// --- Reading a number from an edit -----------------------------------------

TEST(ReadUnsigned, AcceptsDigitsWithBlanksTabsAndPlus) {
    EXPECT_EQ(readUnsigned("12"), 12u);
    EXPECT_EQ(readUnsigned(" 12 "), 12u);
    EXPECT_EQ(readUnsigned("\t12\t "), 12u);
    EXPECT_EQ(readUnsigned("+7"), 7u);
    EXPECT_EQ(readUnsigned("  +65535"), 65535u);
    EXPECT_EQ(readUnsigned("007"), 7u);
}

TEST(ReadUnsigned, ZeroOnlyWhenWrittenWithTheDigitZero) {
    EXPECT_EQ(readUnsigned("0"), 0u);
    EXPECT_EQ(readUnsigned("  00 "), 0u);
    EXPECT_EQ(readUnsigned("+0"), std::nullopt);  // reads as 0, but starts with '+'
    EXPECT_EQ(readUnsigned("+"), std::nullopt);
}

TEST(ReadUnsigned, RefusesEverythingElse) {
    for (const char* text : {"", "   ", "-1", "-0", "12a", "a12", "1 2", "1.5", "0x10", "+-1", "++1", "１"}) {
        EXPECT_EQ(readUnsigned(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(ReadUnsigned, SaturatesBeyond32Bits) {
    EXPECT_EQ(readUnsigned("4294967295"), 4294967295u);
    EXPECT_EQ(readUnsigned("4294967296"), 4294967295u);
    EXPECT_EQ(readUnsigned("99999999999999999999999"), 4294967295u);
}

TEST(ReadUnsigned, LooksAtTheFirst31CharactersOnly) {
    const std::string blanks30(30, ' ');
    EXPECT_EQ(readUnsigned("5" + blanks30 + "x"), 5u);  // the 'x' is character 32
    EXPECT_EQ(readUnsigned("5" + std::string(29, ' ') + "x"), std::nullopt);
    EXPECT_EQ(readUnsigned(std::string(31, '0') + "7"), 0u);  // the 7 is cut off
}

// --- The exchange from edits into fields ------------------------------------

FieldTexts validTexts() { return {"1", "1", orvatest::address::panelReadsSim, "0", "", ""}; }

TEST(SaveFields, TakesEveryFieldAndTheAreaLetter) {
    DialogFields fields;
    const auto failure =
        readFieldTexts({"2048", "255", "10.1.2.3 anything", "65535", "OWNTSAP1", "PLCTSAP2"}, 6, fields);
    ASSERT_FALSE(failure);
    EXPECT_EQ(fields.count, 2048u);
    EXPECT_EQ(fields.dbNumber, 255u);
    EXPECT_EQ(fields.ipAddress, "10.1.2.3 anything");  // taken as typed
    EXPECT_EQ(fields.start, 65535u);
    EXPECT_EQ(fields.ownTsap, "OWNTSAP1");
    EXPECT_EQ(fields.plcTsap, "PLCTSAP2");
    EXPECT_EQ(fields.areaLetter, 'Z');
}

// The text of one field.
std::string& textOf(FieldTexts& texts, Field field) {
    switch (field) {
    case Field::count: return texts.count;
    case Field::dbNumber: return texts.dbNumber;
    case Field::ipAddress: return texts.ipAddress;
    case Field::start: return texts.start;
    case Field::ownTsap: return texts.ownTsap;
    case Field::plcTsap: return texts.plcTsap;
    case Field::area: break;  // an index, no text
    }
    throw std::invalid_argument("the area has no text");
}

TEST(SaveFields, RefusesEachFieldWithItsMessage) {
    namespace says = panel_test::says;
    struct Refusal {
        Field field;
        std::string text;
        const std::string& message;
    };
    // The telegram has one byte for the block: 256 would read block 0, 261 block 5.
    const std::vector<Refusal> cases = {{Field::count, "0", says::countRange},
                                        {Field::count, "2049", says::countRange},
                                        {Field::count, "-3", says::positiveNumber},
                                        {Field::count, "", says::positiveNumber},
                                        {Field::dbNumber, "0", says::dbNumberRange},
                                        {Field::dbNumber, "256", says::dbNumberRange},
                                        {Field::dbNumber, "65535", says::dbNumberRange},
                                        {Field::dbNumber, "x", says::positiveNumber},
                                        {Field::start, "65536", says::startRange},
                                        {Field::start, "99999999999", says::startRange},
                                        {Field::ownTsap, "NINECHARS", says::tsapTooLong},
                                        {Field::plcTsap, "123456789", says::tsapTooLong}};
    for (const Refusal& c : cases) {
        FieldTexts texts = validTexts();
        textOf(texts, c.field) = c.text;
        DialogFields fields;
        const auto failure = readFieldTexts(texts, 3, fields);
        ASSERT_TRUE(failure) << c.text;
        EXPECT_EQ(failure->field, c.field) << c.text;
        EXPECT_EQ(failure->message, c.message);
        EXPECT_EQ(fields.areaLetter, 'E') << "the area is taken only when every field passed";
    }
}

TEST(SaveFields, StopsAtTheFirstFailureInFieldOrder) {
    DialogFields fields;
    fields.ipAddress = "old";
    // Count and data block both bad: only the count is reported.
    auto failure = readFieldTexts({"0", "0", "new", "0", "", ""}, 3, fields);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->field, Field::count);
    EXPECT_EQ(fields.ipAddress, "old");

    // A bad start: count, data block and address before it are taken, the rest not.
    fields = DialogFields{};
    failure = readFieldTexts({"5", "9", "new", "x", "OWN", "PLC"}, 3, fields);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->field, Field::start);
    EXPECT_EQ(fields.count, 5u);
    EXPECT_EQ(fields.dbNumber, 9u);
    EXPECT_EQ(fields.ipAddress, "new");
    EXPECT_EQ(fields.ownTsap, "");
    EXPECT_EQ(fields.areaLetter, 'E');
}

TEST(SaveFields, CountsTsapLengthInCharacters) {
    DialogFields fields;
    EXPECT_FALSE(readFieldTexts({"1", "1", "", "0", "ÄÖÜäöüßé", ""}, 0, fields));  // 8 characters, 16 bytes
    EXPECT_EQ(fields.ownTsap, "ÄÖÜäöüßé");
    EXPECT_TRUE(readFieldTexts({"1", "1", "", "0", "ÄÖÜäöüßéx", ""}, 0, fields));
    EXPECT_EQ(characterCount("Zähler"), 6u);
}

TEST(Rows, PrintableIsBlankToTilde) {
    EXPECT_EQ(byteRow("MB1", 0x1F).chars, "");
    EXPECT_EQ(byteRow("MB1", 0x7E).chars, "'~'");
    EXPECT_EQ(byteRow("MB1", 0x80).chars, "");
    EXPECT_EQ(byteRow("MB1", 0xFF), (RowTexts{"MB1", "255", "FF", ""}));
    EXPECT_EQ(byteRow("MB1", 0x00), (RowTexts{"MB1", "0", "00", ""}));
    EXPECT_EQ(wordRow("MW0", 0x4100).chars, "");         // low-order byte not printable
    EXPECT_EQ(wordRow("MW0", 0x8000).decimal, "32768");  // never negative
}

TEST(Rows, AddressesInThePlcNotationOfEveryArea) {
    const std::vector<std::uint8_t> bytes = {0x41, 0x42};
    EXPECT_EQ(byteRows('E', 1, 7, bytes),
              (std::vector<RowTexts>{{"EB7", "65", "41", "'A'"}, {"EB8", "66", "42", "'B'"}}));
    const std::vector<std::uint16_t> words = {0x4142, 0x01F4};
    EXPECT_EQ(wordRows('A', 1, 10, words)[1].address, "AW12") << "a word of a byte area covers two addresses";
    EXPECT_EQ(wordRows('D', 5, 0, words),
              (std::vector<RowTexts>{{"DB 5 DW0", "16706", "4142", "'BA'"}, {"DB 5 DW1", "500", "1F4", ""}}));
    EXPECT_EQ(wordRows('X', 255, 3, words)[0].address, "DX 255 DW3");
    EXPECT_EQ(wordRows('T', 1, 7, words)[0].address, "T 7");
    EXPECT_EQ(wordRows('Z', 1, 3, words)[1].address, "Z 4");
}

TEST(Rows, AddressesRunPast65535WithoutWrapping) {
    const std::vector<std::uint16_t> words(2048, 0);
    const auto rows = wordRows('M', 1, 65535, words);
    ASSERT_EQ(rows.size(), 2048u);
    EXPECT_EQ(rows.back().address, "MW" + std::to_string(65535 + 2 * 2047));
}

TEST(Rows, LongestAddressesAreTheDataBlocksAtTheEndsOfTheRanges) {
    // Block 255, the last of 2048 words from start 65535.
    EXPECT_EQ(longestAddressTexts(), (std::vector<std::string>{"DB 255 DW67582", "DX 255 DW67582"}));
}

// --- Text for the library and the logo --------------------------------------

TEST(Latin1, OneByteACharacterAndAQuestionMarkBeyond) {
    EXPECT_EQ(latin1Of("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(latin1Of("Z\xC3\xA4hler"), "Z\xE4hler");
    EXPECT_EQ(latin1Of("\xC3\xBF"), "\xFF");
    EXPECT_EQ(latin1Of("a\xE2\x82\xAC"
                       "b"),
              "a?b");                              // the euro sign is not Latin-1
    EXPECT_EQ(latin1Of("\xF0\x9F\x98\x80"), "?");  // nor anything beyond the BMP
    EXPECT_EQ(latin1Of("x\xC3"), "x?");            // cut short
    EXPECT_EQ(latin1Of("\xA4z"), "?z");            // a continuation byte alone
}

TEST(LogoPaths, WorkingDirectoryFirstThenTheInstalledCopy) {
    EXPECT_EQ(logoPaths("/usr/bin", false), (std::vector<std::string>{"oem.bmp", "/usr/bin/../share/orvanet/oem.bmp"}));
    EXPECT_EQ(logoPaths("C:\\orvanet", true), (std::vector<std::string>{"oem.bmp", "C:\\orvanet\\oem.bmp"}));
    EXPECT_EQ(logoPaths("", false), std::vector<std::string>{"oem.bmp"});
}

// --- Dialog units ----------------------------------------------------------

TEST(DialogUnits, QuarterCharacterWideEighthHigh) {
    const DialogUnits units(6.0, 13.0);  // the classic 8-point dialog font
    EXPECT_EQ(units.horizontal(4), 6);
    EXPECT_EQ(units.vertical(8), 13);
    EXPECT_EQ(units.horizontal(396), 594);
    EXPECT_EQ(units.vertical(311), 505);
}

TEST(DialogUnits, NeighboursThatTouchInUnitsTouchInPixels) {
    const DialogUnits units(7.4, 14.0);
    const PixelRect left = units.toPixels({8, 80, 91, 98});
    const PixelRect right = units.toPixels({99, 80, 5, 5});
    EXPECT_EQ(left.x + left.width, right.x);
    const PixelRect upper = units.toPixels({0, 20, 10, 13});
    const PixelRect lower = units.toPixels({0, 33, 10, 12});
    EXPECT_EQ(upper.y + upper.height, lower.y);
}

// --- docs/orvapanel.md's walkthrough, which the pictures in docs/ show ----

// The section of docs/orvapanel.md that holds heading, up to the next heading of its level, with every line
// break and the indentation after it read as one blank (the blanks inside a line stay as they are).
std::string pageSection(const std::string& heading) {
    std::ifstream file(ORVA_PANEL_PAGE);
    std::stringstream whole;
    whole << file.rdbuf();
    const std::string text = whole.str();
    const auto begin = text.find("\n" + heading + "\n");
    if (begin == std::string::npos) return {};
    const auto end = text.find("\n## ", begin + 1);
    std::string section;
    for (std::size_t i = begin + 1; i < std::min(end, text.size()); ++i) {
        if (text[i] != '\n') {
            section += text[i];
            continue;
        }
        while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
        section += ' ';
    }
    return section;
}

TEST(Walkthrough, ThePageSaysWhatThePicturesShow) {
    namespace w = panel_test::walkthrough;
    const std::string section = pageSection("## Trying it against the simulator");
    ASSERT_FALSE(section.empty()) << "no walkthrough in " << ORVA_PANEL_PAGE;
    const std::string address = w::address;
    const std::string block = std::to_string(w::block);
    const std::vector<std::string> says = {
        "# listens on " + address + ":102",
        "orvacli --words " + address + " write DB" + block + " " + std::to_string(w::start) + " " + w::orvacliWords,
        "Type `" + address + "` over the address `" + std::string(defaultIpAddress) + "`; leave both TSAPs empty",
        "Choose **" + std::string(areaItems[w::areaItem]) + "**, type `" + block + "` as DBNo and `" +
            std::to_string(w::count) + "` as count",
    };
    for (const std::string& text : says) EXPECT_NE(section.find(text), std::string::npos) << text;

    // The first row as the page writes it, its cells two blanks apart.
    std::string firstRow = w::rows.at(0);
    for (std::size_t bar; (bar = firstRow.find('|')) != std::string::npos;) firstRow.replace(bar, 1, "  ");
    EXPECT_NE(section.find("The list shows `" + firstRow + "`"), std::string::npos) << firstRow;
}

// The words of the walkthrough are those orvacli is given, and its rows those the panel makes of them.
TEST(Walkthrough, RowsOfTheWordsOrvacliWrites) {
    namespace w = panel_test::walkthrough;
    std::istringstream given(w::orvacliWords);
    std::vector<std::uint16_t> words;
    for (std::string word; given >> word;) words.push_back(static_cast<std::uint16_t>(std::stoul(word, nullptr, 0)));
    EXPECT_EQ(words, w::words);

    words.resize(static_cast<std::size_t>(w::count));  // the rest of the block is zero
    std::vector<std::string> rows;
    for (const RowTexts& r : wordRows(areaLetterTable[w::areaItem], w::block, w::start, words))
        rows.push_back(r.address + "|" + r.decimal + "|" + r.hex + "|" + r.chars);
    EXPECT_EQ(rows, w::rows);
}

}  // namespace
}  // namespace orvapanel
