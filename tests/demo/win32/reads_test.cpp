// SPDX-License-Identifier: Apache-2.0
// Reading into the list and reporting results: the rows of bytes and words of
// every area, the list suspended and the wait cursor during the call, the
// status texts of every result and their messages, 2048 rows, the address
// column. Against orvanet.dll and an orvasim driven through its control
// channel; nothing listens at the refusing address.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "external_env.h"
#include "orvanet.h"
#include "panel_driver.h"
#include "read_rows.h"
#include "resource.h"
#include "sim_control.h"

using namespace panel_test;

namespace {

const orvaext::SocketLayer socketLayer;
const std::wstring success = wide(says::success);

class NativeReads : public ::testing::Test {
protected:
    void SetUp() override {
        sim.reset();
        for (const Stored& m : memoryForReads) sim.write(m.letter, m.block, m.byteOffset, m.bytes);
    }
    void TearDown() override { sim.reset(); }

    // A panel with a handle open.
    static void open(Panel& p, int areaItem = inputs, const std::string& address = adapterAddress()) {
        p.selectArea(areaItem);
        p.openAt(address);
        ASSERT_EQ(p.link.opens.size(), 1u);
        ASSERT_GE(p.link.opens[0].result, 0);
    }

    static void expectFailureShown(const Panel& p, int code, const std::wstring& text) {
        ASSERT_FALSE(p.link.reads.empty());
        EXPECT_EQ(p.link.reads.back().result, code);
        EXPECT_EQ(p.text(IDC_STATUS), text);
        const auto shown = p.messages();
        ASSERT_EQ(shown.size(), 1u);  // and in a message box
        EXPECT_EQ(shown[0].text, text);
        EXPECT_NE(shown[0].cursor, LoadCursorW(nullptr, IDC_WAIT)) << "the cursor is back before the message";
        EXPECT_EQ(p.rowCount(), 0);
    }

    orvaext::SimControl sim{orvaext::simControl()};
};

}  // namespace

TEST_F(NativeReads, RowsOfEveryArea) {
    for (const AreaRead& c : readsOfEveryArea) {
        SCOPED_TRACE(c.name);
        Panel p;
        open(p, c.areaItem);
        p.read(c.unit, wide(c.db), wide(c.start), wide(c.count));
        std::vector<std::wstring> rows;
        for (const std::string& row : c.rows) rows.push_back(wide(row));
        EXPECT_EQ(p.rows(), rows);
        EXPECT_EQ(p.text(IDC_STATUS), success);
        EXPECT_TRUE(p.messages().empty());
        ASSERT_EQ(p.link.reads.size(), 1u);
        const ReadCall& call = p.link.reads[0];
        EXPECT_EQ(call.result, ORVA_OK);
        EXPECT_EQ(call.unit, c.unit);
        EXPECT_EQ(call.areaLetter, c.letter);
        EXPECT_EQ(call.dbNumber, std::stoi(c.db));
        EXPECT_EQ(call.start, std::stoi(c.start));
        EXPECT_EQ(call.count, std::stoi(c.count));
        // During the call: the wait cursor, the list emptied and not redrawn;
        // then the rows went in with redrawing still suspended, and it was resumed once.
        EXPECT_EQ(call.during.cursor, LoadCursorW(nullptr, IDC_WAIT));
        EXPECT_FALSE(call.during.listRedraws);
        EXPECT_EQ(call.during.listRows, 0);
        EXPECT_EQ(call.during.listEvents, "rD");
        EXPECT_EQ(p.listLog.events, "rD" + std::string(c.rows.size(), 'i') + "R");
    }
}

TEST_F(NativeReads, FullListOf2048Rows) {
    Panel p;
    open(p, flags);
    const orvaext::Stopwatch clock;
    p.read('W', L"1", L"0", L"2048");
    const long long ms = clock.ms();
    const auto rows = p.rows();
    ASSERT_EQ(rows.size(), 2048u);
    EXPECT_EQ(rows.front(), L"MW0|0|00|");
    EXPECT_EQ(rows[5], L"MW10|16706|4142|'BA'");
    EXPECT_EQ(rows.back(), L"MW4094|0|00|");
    std::printf("2048 word rows: press to status line %lld ms, of which the library call %.1f ms\n", ms,
                p.link.reads.at(0).callMs);

    p.read('B', L"1", L"0", L"2049");  // refused before any call
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{wide(says::countRange)});
    EXPECT_EQ(p.link.reads.size(), 1u);
    EXPECT_EQ(p.rowCount(), 2048);  // a refused input leaves the list
}

TEST_F(NativeReads, Status2PlcError) {
    Panel p;
    open(p);
    sim.armReplyFault("errorByte", 10);
    p.read('B', L"1", L"0", L"3");
    expectFailureShown(p, ORVA_ERR_PLC, wide(says::plcError));
}

TEST_F(NativeReads, StatusMinus1DroppedEmptiesTheList) {
    Panel p;
    open(p);
    p.read('B', L"1", L"0", L"3");
    EXPECT_EQ(p.rowCount(), 3);
    sim.armReplyFault("wrongDataLength", 1);
    p.read('B', L"1", L"0", L"3");
    expectFailureShown(p, ORVA_ERR_DROPPED, wide(says::timeout));
    EXPECT_EQ(p.link.socketErrorCalls, 0);
}

TEST_F(NativeReads, StatusMinus6SetupFailedShowsFromItsFirstCharacter) {
    Panel p;
    open(p);
    sim.armConfirmFault("disconnectInsteadOfConfirm");
    p.read('W', L"1", L"0", L"1");
    const std::wstring text = wide(says::setupFailed);
    expectFailureShown(p, ORVA_ERR_CONNECT, text);
    // Longer than the line, and shown from its start.
    HWND status = p.item(IDC_STATUS);
    RECT line;
    GetClientRect(status, &line);
    HDC dc = GetDC(status);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(status, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ReleaseDC(status, dc);
    EXPECT_GT(extent.cx, line.right);
    EXPECT_EQ(SendMessageW(status, EM_GETFIRSTVISIBLELINE, 0, 0), 0);  // the first visible character
}

TEST_F(NativeReads, StatusMinus7SocketError) {
    Panel p;
    open(p, inputs, refusingAddress());
    p.read('W', L"1", L"0", L"1");
    expectFailureShown(p, ORVA_ERR_SOCKET, wide(says::socketError10061));
    EXPECT_EQ(p.link.socketErrorCalls, 1);
}

TEST_F(NativeReads, StatusMinus10ReadBytesOfDataBlock) {
    Panel p;
    open(p, dataBlock);  // Open enables the byte button whatever the area
    ASSERT_TRUE(p.enabled(IDC_READBYTES));
    p.read('B', L"1", L"0", L"1");
    expectFailureShown(p, ORVA_ERR_AREA, wide(says::areaNotSupported));
    EXPECT_EQ(p.link.reads[0].areaLetter, 'D');
    EXPECT_FALSE(p.enabled(IDC_READBYTES));  // the exchange put the area rule back
    EXPECT_EQ(sim.connectionsAccepted(), 0);
}

TEST_F(NativeReads, StatusMinus99HandleGone) {
    Panel p;
    open(p);
    ASSERT_EQ(ORVAClose(p.link.opens[0].result), ORVA_OK);  // behind the panel's back
    p.read('W', L"1", L"0", L"1");
    expectFailureShown(p, ORVA_ERR_HANDLE, wide(says::handleGone));
}

TEST_F(NativeReads, ReadsAfterFailureReconnect) {
    Panel p;
    open(p);
    sim.armReplyFault("resetBeforeReply");
    p.read('B', L"1", L"0", L"1");
    EXPECT_NE(p.link.reads.at(0).result, ORVA_OK);
    p.clearMessages();
    p.read('B', L"1", L"0", L"1");
    EXPECT_EQ(p.rows(), std::vector<std::wstring>{L"EB0|65|41|'A'"});
    EXPECT_EQ(p.text(IDC_STATUS), success);
    EXPECT_TRUE(p.messages().empty());
    EXPECT_EQ(sim.connectionsAccepted(), 2);
}

// The block number is one byte of the telegram: 261 is refused, not read as block 5.
TEST_F(NativeReads, DataBlockBeyond255Refused) {
    sim.write('D', 5, 0, {0x05, 0x05});
    Panel p;
    open(p, dataBlock);
    p.read('W', L"261", L"0", L"1");
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{wide(says::dbNumberRange)});
    EXPECT_TRUE(p.link.reads.empty());
    EXPECT_EQ(p.focus(), p.item(IDC_DBNUMBER));
    EXPECT_EQ(p.selection(IDC_DBNUMBER), std::make_pair(0, 3));
    p.clearMessages();
    p.read('W', L"255", L"0", L"1");
    EXPECT_TRUE(p.messages().empty());
    EXPECT_EQ(p.rows(), std::vector<std::wstring>{L"DB 255 DW0|0|00|"});
}

// The address column holds the longest address of any allowed read in the dialog's font.
TEST_F(NativeReads, AddressColumnFitsTheLongestAddress) {
    Panel p;
    open(p, dataBlock);
    p.read('W', L"100", L"0", L"2041");
    ASSERT_EQ(p.rowCount(), 2041);
    EXPECT_EQ(p.rows().back(), L"DB 100 DW2040|0|00|");
    HWND list = p.item(IDC_LIST);
    const int width = p.columnWidth(0);
    // What the list needs for the rows it holds: its own measure, then the width put back.
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE, 0));
    const int rowsNeed = p.columnWidth(0);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, width);
    EXPECT_LE(rowsNeed, width);
    const int padding = rowsNeed - static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                                                 reinterpret_cast<LPARAM>(L"DB 100 DW2040")));
    for (const std::string& text : orvapanel::longestAddressTexts()) {
        const std::wstring address = wide(text);
        const int needed =
            static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(address.c_str()))) +
            padding;
        EXPECT_LE(needed, width) << text;
    }
    std::printf("address column: %d pixels (rows of DB 100 need %d)\n", width, rowsNeed);
}
