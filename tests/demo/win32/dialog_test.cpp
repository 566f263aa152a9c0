// SPDX-License-Identifier: Apache-2.0
// The native dialog: start state, the template's places and tab order,
// input validation, the area rule, Open and Close, the end of the dialog, the
// system menu's about entry, the real message box and the texts with umlauts.
// Against orvanet.dll and an orvasim driven through its control channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "area.h"
#include "dialog_units.h"
#include "external_env.h"
#include "orvanet.h"
#include "panel_driver.h"
#include "read_rows.h"
#include "resource.h"
#include "sim_control.h"

using namespace panel_test;

namespace {

const orvaext::SocketLayer socketLayer;

const std::wstring positiveMessage = wide(says::positiveNumber);
const std::wstring countRangeMessage = wide(says::countRange);
const std::wstring dbRangeMessage = wide(says::dbNumberRange);
const std::wstring success = wide(says::success);

class NativeDialog : public ::testing::Test {
protected:
    void SetUp() override { sim.reset(); }
    void TearDown() override { sim.reset(); }

    orvaext::SimControl sim{orvaext::simControl()};
};

// The texts of the labels, in template order.
std::vector<std::wstring> labels(HWND window) {
    std::vector<std::wstring> out;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (_wcsicmp(className, L"Static") == 0 && GetDlgCtrlID(child) == IDC_STATIC) out.push_back(windowText(child));
    }
    return out;
}

RECT placeOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// As the dialog manager converts a control's place: its corner and its size.
RECT inPixels(HWND dialog, orvapanel::DialogRect units) {
    RECT r{units.x, units.y, units.width, units.height};
    MapDialogRect(dialog, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

bool isIconStatic(HWND control) {
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    return _wcsicmp(className, L"Static") == 0 && (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The controls that follow the handle: Close and both read buttons with one (the byte button in an area
// that has bytes), Open and the connection's edits without.
void expectHandleControls(const Panel& p, bool open) {
    EXPECT_EQ(p.enabled(IDC_OPEN), !open);
    EXPECT_EQ(p.enabled(IDC_CLOSE), open);
    EXPECT_EQ(p.enabled(IDC_READBYTES), open);
    EXPECT_EQ(p.enabled(IDC_READWORDS), open);
    for (int edit : {IDC_IPADDRESS, IDC_OWNTSAP, IDC_PLCTSAP}) EXPECT_EQ(p.enabled(edit), !open) << edit;
}

}  // namespace

TEST_F(NativeDialog, StartState) {
    Panel p;
    ASSERT_NE(p.window, nullptr);
    EXPECT_EQ(windowText(p.window), L"ORVA-NET-DEMO");
    EXPECT_EQ(p.text(IDC_IPADDRESS), L"192.168.0.99");
    EXPECT_EQ(p.text(IDC_OWNTSAP), L"");
    EXPECT_EQ(p.text(IDC_PLCTSAP), L"");
    EXPECT_EQ(p.text(IDC_DBNUMBER), L"1");
    EXPECT_EQ(p.text(IDC_START), L"0");
    EXPECT_EQ(p.text(IDC_COUNT), L"1");
    EXPECT_EQ(p.text(IDC_STATUS), L"");
    EXPECT_EQ(p.areaItems(), (std::vector<std::wstring>{L"Eingang / Input", L"Ausgang / Output", L"Merker / Flags",
                                                        L"DB / DB", L"DX / DX", L"Timer", L"Z\u00e4hler / Counter"}));
    // The template's initial data and the logic's table are one list.
    const auto items = p.areaItems();
    for (std::size_t i = 0; i < orvapanel::areaItems.size(); ++i) {
        EXPECT_EQ(items.at(i), wide(std::string(orvapanel::areaItems[i])));
    }
    EXPECT_EQ(p.selectedArea(), 0);

    EXPECT_TRUE(p.enabled(IDC_IPADDRESS));
    EXPECT_TRUE(p.enabled(IDC_OWNTSAP));
    EXPECT_TRUE(p.enabled(IDC_PLCTSAP));
    EXPECT_FALSE(p.enabled(IDC_DBNUMBER));
    EXPECT_TRUE(p.enabled(IDC_START));
    EXPECT_TRUE(p.enabled(IDC_COUNT));
    EXPECT_TRUE(p.enabled(IDC_OPEN));
    EXPECT_FALSE(p.enabled(IDC_CLOSE));
    EXPECT_FALSE(p.enabled(IDC_READBYTES));
    EXPECT_FALSE(p.enabled(IDC_READWORDS));
    EXPECT_TRUE(p.enabled(IDOK));

    EXPECT_EQ(p.text(IDC_OPEN), L"ORVA&Open (...)");
    EXPECT_EQ(p.text(IDC_CLOSE), L"ORVA&Close (...)");
    EXPECT_EQ(p.text(IDC_READBYTES), L"ORVARd&B (...)");
    EXPECT_EQ(p.text(IDC_READWORDS), L"ORVARd&W (...)");
    EXPECT_EQ(p.text(IDOK), L"Ende / End");
    EXPECT_EQ(SendMessageW(p.window, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    EXPECT_EQ(labels(p.window),
              (std::vector<std::wstring>{L"SPS-IP-Adresse / PLC-IP-Address:", L"eigener TSAP / own TSAP:",
                                         L"SPS TSAP / PLC's TSAP", L"Datenbereich:\ndata area:", L"DBNr:\nDBNo:",
                                         L"Start ab:\nstart at:", L"Anzahl:\ncount:", L"Status:"}));

    const LONG style = GetWindowLongW(p.window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & DS_MODALFRAME);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    const auto bigIcon = SendMessageW(p.window, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(bigIcon, 0);
    EXPECT_EQ(SendMessageW(p.window, WM_GETICON, ICON_SMALL, 0), bigIcon);
    EXPECT_TRUE(GetWindowLongW(p.item(IDC_STATUS), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(SendMessageW(p.item(IDC_OWNTSAP), EM_GETLIMITTEXT, 0, 0), 8);
    EXPECT_EQ(SendMessageW(p.item(IDC_PLCTSAP), EM_GETLIMITTEXT, 0, 0), 8);

    // The result list: report mode, grid lines and full-row selection, four headings, empty.
    HWND list = p.item(IDC_LIST);
    EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & LVS_SHOWSELALWAYS);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x21);
    EXPECT_EQ(p.rowCount(), 0);
    const std::vector<std::wstring> headings{L"Adr /Addr", L"Wert/Value(dec.)", L"Wert/Value(hex)", L"ASCII"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(p.heading(c), headings[static_cast<std::size_t>(c)]);
        EXPECT_EQ(p.headingFormat(c), c == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT) << c;
    }
    // Each heading whole, in the margins its header draws it in, and no wider than that by much.
    const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const auto margin = static_cast<int>(SendMessageW(header, HDM_GETBITMAPMARGIN, 0, 0));
    for (int c = 0; c < 4; ++c) {
        const auto text = static_cast<int>(SendMessageW(
            list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(headings[static_cast<std::size_t>(c)].c_str())));
        EXPECT_GE(p.columnWidth(c), text + 2 * margin) << c;
        if (c > 0) {
            EXPECT_LT(p.columnWidth(c), text + 2 * margin + 16) << c;
        }
    }

    // The logo from the working directory, the control as large as the picture.
    const auto logo = reinterpret_cast<HBITMAP>(SendMessageW(p.item(IDC_LOGO), STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(logo, nullptr);
    BITMAP picture{};
    GetObjectW(logo, sizeof picture, &picture);
    const RECT logoPlace = placeOf(p.item(IDC_LOGO));
    EXPECT_EQ(logoPlace.right - logoPlace.left, picture.bmWidth);
    EXPECT_EQ(logoPlace.bottom - logoPlace.top, picture.bmHeight);

    EXPECT_EQ(p.focus(), p.item(IDOK));
    EXPECT_TRUE(p.link.opens.empty());
    EXPECT_TRUE(p.messages().empty());
}

// Every control where the template puts it, in dialog units of its font.
TEST_F(NativeDialog, ControlsAtTheTemplatesPlaces) {
    Panel p;
    namespace t = orvapanel::mainTemplate;
    const std::vector<std::pair<int, orvapanel::DialogRect>> places{{IDC_IPADDRESS, t::ipAddress},
                                                                    {IDC_OWNTSAP, t::ownTsap},
                                                                    {IDC_PLCTSAP, t::plcTsap},
                                                                    {IDC_DBNUMBER, t::dbNumber},
                                                                    {IDC_START, t::start},
                                                                    {IDC_COUNT, t::count},
                                                                    {IDC_OPEN, t::open},
                                                                    {IDC_CLOSE, t::close},
                                                                    {IDC_READBYTES, t::readBytes},
                                                                    {IDC_READWORDS, t::readWords},
                                                                    {IDC_LIST, t::list},
                                                                    {IDC_STATUS, t::status},
                                                                    {IDOK, t::end}};
    for (const auto& [id, units] : places) {
        EXPECT_TRUE(sameRect(placeOf(p.item(id)), inPixels(p.window, units))) << id;
    }
    const RECT box = placeOf(p.item(IDC_AREA));
    const RECT boxUnits = inPixels(p.window, t::area);
    EXPECT_EQ(box.left, boxUnits.left);
    EXPECT_EQ(box.top, boxUnits.top);
    EXPECT_EQ(box.right, boxUnits.right);
    const RECT logo = placeOf(p.item(IDC_LOGO));
    const RECT logoUnits = inPixels(p.window, t::logo);
    EXPECT_EQ(logo.left, logoUnits.left);
    EXPECT_EQ(logo.top, logoUnits.top);
    RECT client;
    GetClientRect(p.window, &client);
    const RECT whole = inPixels(p.window, {0, 0, t::width, t::height});
    EXPECT_TRUE(sameRect(client, whole));
    // The font of the template, as the dialog manager made it.
    const auto font = reinterpret_cast<HFONT>(SendMessageW(p.window, WM_GETFONT, 0, 0));
    LOGFONTW face{};
    GetObjectW(font, sizeof face, &face);
    EXPECT_STREQ(face.lfFaceName, L"MS Sans Serif");
}

TEST_F(NativeDialog, TabOrderOfTheTemplate) {
    Panel p;
    // Disabled controls are skipped; the rest follow the template's order.
    const std::vector<int> expected{IDC_IPADDRESS, IDC_OPEN, IDC_STATUS,  IDC_AREA,    IDC_START,
                                    IDC_COUNT,     IDC_LIST, IDC_OWNTSAP, IDC_PLCTSAP, IDOK};
    std::vector<int> walked;
    HWND at = p.item(IDOK);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        at = GetNextDlgTabItem(p.window, at, FALSE);
        walked.push_back(GetDlgCtrlID(at));
    }
    EXPECT_EQ(walked, expected);
}

// Alt and the underlined letter press a button, through the dialog's own keyboard handling.
TEST_F(NativeDialog, MnemonicsOpenAndClose) {
    Panel p;
    p.setText(IDC_IPADDRESS, wide(adapterAddress()));
    // To the focused control; with none (Open took the focus and was then
    // disabled), the keyboard's messages go to the active window, the dialog.
    auto altKey = [&p](wchar_t letter) {
        constexpr LPARAM altDown = LPARAM{1} << 29;  // the context code of a key typed with Alt
        HWND target = p.focus();
        PostMessageW(target != nullptr ? target : p.window, WM_SYSCHAR, letter, altDown | 1);
    };
    auto waitUntil = [](auto condition) {
        for (int i = 0; i < 400 && !condition(); ++i) Sleep(5);
        return condition();
    };
    altKey(L'o');
    EXPECT_TRUE(waitUntil([&p] { return p.enabled(IDC_CLOSE); }));
    EXPECT_FALSE(p.enabled(IDC_OPEN));
    altKey(L'c');
    EXPECT_TRUE(waitUntil([&p] { return p.enabled(IDC_OPEN); }));
    EXPECT_FALSE(p.enabled(IDC_CLOSE));
    p.closeBox();
    p.waitForEnd();
    ASSERT_EQ(p.link.opens.size(), 1u);
    EXPECT_EQ(p.link.closes, std::vector<int>{p.link.opens[0].result});
}

struct Refusal {
    const wchar_t* count;
    std::wstring message;  // empty: accepted
};

TEST_F(NativeDialog, CountValidation) {
    const std::vector<Refusal> cases{
        {L"0", countRangeMessage}, {L"2049", countRangeMessage}, {L"-5", positiveMessage}, {L"12ab", positiveMessage},
        {L"", positiveMessage},    {L"+0", positiveMessage},     {L" 12 ", L""},           {L"2048", L""}};
    for (const Refusal& c : cases) {
        SCOPED_TRACE(testing::Message() << "count \"" << orvapanel::win32::utf8Of(c.count) << '"');
        Panel p;
        p.setText(IDC_IPADDRESS, wide(adapterAddress()));
        p.setText(IDC_COUNT, c.count);
        p.press(IDC_OPEN);
        if (c.message.empty()) {
            EXPECT_TRUE(p.messages().empty());
            EXPECT_EQ(p.link.opens.size(), 1u);
            continue;
        }
        EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{c.message});
        EXPECT_TRUE(p.link.opens.empty());
        EXPECT_EQ(p.focus(), p.item(IDC_COUNT));
        EXPECT_EQ(p.selection(IDC_COUNT), std::make_pair(0, static_cast<int>(std::wcslen(c.count))));
        EXPECT_EQ(p.messages().at(0).owner, p.window);
    }
}

TEST_F(NativeDialog, OtherFieldsValidatedInOrderAndOnlyTheFirstReported) {
    Panel p;
    p.setText(IDC_DBNUMBER, L"0");  // checked although its edit is disabled
    p.press(IDC_OPEN);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{dbRangeMessage});
    p.clearMessages();
    // The telegram has one byte for the block: 256 is refused, not cut to block 0.
    p.setText(IDC_DBNUMBER, L"256");
    p.press(IDC_OPEN);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{dbRangeMessage});
    p.clearMessages();
    p.setText(IDC_DBNUMBER, L"255");
    p.setText(IDC_START, L"65536");
    p.press(IDC_OPEN);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{wide(says::startRange)});
    EXPECT_EQ(p.focus(), p.item(IDC_START));
    p.clearMessages();
    p.setText(IDC_COUNT, L"0");
    p.setText(IDC_DBNUMBER, L"0");
    p.press(IDC_OPEN);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{countRangeMessage});
    EXPECT_TRUE(p.link.opens.empty());
}

TEST_F(NativeDialog, TsapLimitedToEightCharacters) {
    Panel p;
    for (wchar_t c : std::wstring(L"ABCDEFGHI")) SendMessageW(p.item(IDC_OWNTSAP), WM_CHAR, c, 1);  // typed
    EXPECT_EQ(p.text(IDC_OWNTSAP), L"ABCDEFGH");
    // Set by other means than typing, a longer one reaches the edit and is refused.
    p.setText(IDC_PLCTSAP, L"TOOLONG12");
    EXPECT_EQ(p.text(IDC_PLCTSAP), L"TOOLONG12");
    p.press(IDC_OPEN);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{wide(says::tsapTooLong)});
    EXPECT_EQ(p.focus(), p.item(IDC_PLCTSAP));
    EXPECT_EQ(p.selection(IDC_PLCTSAP), std::make_pair(0, 9));
    EXPECT_TRUE(p.link.opens.empty());
}

TEST_F(NativeDialog, OpenPassesFieldsAndTimeouts) {
    Panel p;
    p.openAt(adapterAddress());
    ASSERT_EQ(p.link.opens.size(), 1u);
    const OpenCall& call = p.link.opens[0];
    EXPECT_EQ(call.ipAddress, adapterAddress());
    EXPECT_EQ(call.ownTsap, "");  // empty, not null
    EXPECT_EQ(call.plcTsap, "");
    EXPECT_EQ(call.receiveTimeoutMs, 10000);
    EXPECT_EQ(call.sendTimeoutMs, 10000);
    EXPECT_EQ(call.connectTimeoutMs, 10000);
    p.press(IDC_CLOSE);

    p.setText(IDC_OWNTSAP, L"OWN-1");
    p.setText(IDC_PLCTSAP, L"PLC-2");
    p.press(IDC_OPEN);
    ASSERT_EQ(p.link.opens.size(), 2u);
    EXPECT_EQ(p.link.opens[1].ownTsap, "OWN-1");
    EXPECT_EQ(p.link.opens[1].plcTsap, "PLC-2");
    // The TSAPs reach the adapter in its connection request.
    p.press(IDC_READWORDS);
    const auto requests = sim.connectRequests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string cr(requests[0].begin(), requests[0].end());
    EXPECT_NE(cr.find("OWN-1"), std::string::npos);
    EXPECT_NE(cr.find("PLC-2"), std::string::npos);
}

TEST_F(NativeDialog, AreaRule) {
    struct Case {
        int index;
        char letter;
        bool readBytes, dbNumber;
    };
    const std::vector<Case> cases{{1, 'A', true, false}, {2, 'M', true, false},  {3, 'D', false, true},
                                  {4, 'X', false, true}, {5, 'T', false, false}, {6, 'Z', false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letter);
        Panel p;
        p.selectArea(c.index);
        EXPECT_EQ(p.enabled(IDC_READBYTES), c.readBytes);
        EXPECT_EQ(p.enabled(IDC_DBNUMBER), c.dbNumber);
        EXPECT_FALSE(p.enabled(IDC_READWORDS));  // the rule never touches it
        // The letter the selection stands for reaches the library.
        p.openAt(adapterAddress());
        p.press(IDC_READWORDS);
        ASSERT_EQ(p.link.reads.size(), 1u);
        EXPECT_EQ(p.link.reads[0].areaLetter, c.letter);
        p.selectArea(0);
        EXPECT_TRUE(p.enabled(IDC_READBYTES));
        EXPECT_FALSE(p.enabled(IDC_DBNUMBER));
    }
}

TEST_F(NativeDialog, ReadBytesWithoutHandleDoesNothing) {
    Panel p;
    p.selectArea(2);  // Merker enables the byte button with no handle open
    ASSERT_TRUE(p.enabled(IDC_READBYTES));
    p.setText(IDC_COUNT, L"0");  // not even the exchange runs
    p.press(IDC_READBYTES);
    EXPECT_TRUE(p.link.reads.empty());
    EXPECT_TRUE(p.messages().empty());
    EXPECT_EQ(p.text(IDC_STATUS), L"");
}

TEST_F(NativeDialog, BadCountBlocksAreaChange) {
    Panel p;
    p.setText(IDC_COUNT, L"x");
    p.selectArea(3);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{positiveMessage});
    EXPECT_FALSE(p.enabled(IDC_DBNUMBER));
    EXPECT_FALSE(p.enabled(IDC_READBYTES));
    EXPECT_EQ(p.focus(), p.item(IDC_COUNT));
}

TEST_F(NativeDialog, OpenAndClose) {
    Panel p;
    p.openAt(adapterAddress());
    ASSERT_EQ(p.link.opens.size(), 1u);
    const int handle = p.link.opens[0].result;
    ASSERT_GE(handle, 0);
    EXPECT_FALSE(p.enabled(IDC_OPEN));
    EXPECT_TRUE(p.enabled(IDC_CLOSE));
    EXPECT_TRUE(p.enabled(IDC_READBYTES));
    EXPECT_TRUE(p.enabled(IDC_READWORDS));
    EXPECT_FALSE(p.enabled(IDC_IPADDRESS));
    EXPECT_FALSE(p.enabled(IDC_OWNTSAP));
    EXPECT_FALSE(p.enabled(IDC_PLCTSAP));
    EXPECT_EQ(p.text(IDC_STATUS), L"");  // a successful open says nothing
    EXPECT_TRUE(p.messages().empty());
    EXPECT_EQ(sim.connectionsAccepted(), 0);  // and sends nothing

    p.press(IDC_CLOSE);
    EXPECT_EQ(p.link.closes, std::vector<int>{handle});
    EXPECT_EQ(p.text(IDC_STATUS), success);
    EXPECT_TRUE(p.messages().empty());
    EXPECT_TRUE(p.enabled(IDC_OPEN));
    EXPECT_FALSE(p.enabled(IDC_CLOSE));
    EXPECT_FALSE(p.enabled(IDC_READBYTES));
    EXPECT_FALSE(p.enabled(IDC_READWORDS));
    EXPECT_TRUE(p.enabled(IDC_IPADDRESS));
    EXPECT_TRUE(p.enabled(IDC_OWNTSAP));
    EXPECT_TRUE(p.enabled(IDC_PLCTSAP));
    EXPECT_EQ(ORVAClose(handle), ORVA_ERR_HANDLE);  // really closed
    EXPECT_FALSE(p.ended());
}

TEST_F(NativeDialog, OpenWithDataBlockEnablesReadBytesUntilNextExchange) {
    Panel p;
    p.selectArea(3);
    EXPECT_FALSE(p.enabled(IDC_READBYTES));
    p.openAt(adapterAddress());
    EXPECT_TRUE(p.enabled(IDC_READBYTES));
    p.selectArea(4);  // an exchange: the rule applies again
    EXPECT_FALSE(p.enabled(IDC_READBYTES));
    EXPECT_TRUE(p.enabled(IDC_READWORDS));
}

TEST_F(NativeDialog, FailedOpenStaysWithoutHandle) {
    // Take every handle the library has, so that Open gets -2.
    std::vector<int> taken;
    for (int h; (h = ORVAOpen(adapterAddress().c_str(), "", "", 0, 0, 0)) >= 0;) taken.push_back(h);
    ASSERT_EQ(static_cast<int>(taken.size()), ORVA_MAX_HANDLES);
    const std::wstring text = wide(says::noFreeHandle);
    {
        Panel p;
        p.openAt(adapterAddress());
        for (int h : taken) ORVAClose(h);
        EXPECT_EQ(p.link.opens.at(0).result, ORVA_ERR_NO_FREE_HANDLE);
        EXPECT_EQ(p.text(IDC_STATUS), text);
        EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{text});
        EXPECT_TRUE(p.enabled(IDC_OPEN));
        EXPECT_FALSE(p.enabled(IDC_CLOSE));
        EXPECT_FALSE(p.enabled(IDC_READWORDS));
        EXPECT_TRUE(p.enabled(IDC_IPADDRESS));
        EXPECT_TRUE(p.enabled(IDC_OWNTSAP));
        // A negative handle is none: the next Open works, and the window closes only that one.
        p.press(IDC_OPEN);
        const int handle = p.link.opens.at(1).result;
        EXPECT_GE(handle, 0);
        EXPECT_EQ(p.text(IDC_STATUS), text);  // a successful Open leaves the line as it was
        EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{text});
        expectHandleControls(p, true);
        p.press(IDOK);
        EXPECT_EQ(p.waitForEnd(), IDOK);
        EXPECT_EQ(p.link.closes, std::vector<int>{handle});
    }
}

// ORVAClose fails only for a handle that is not open: closed here behind the panel's back. The failure
// is shown, and the dialog is without a handle all the same.
TEST_F(NativeDialog, FailedCloseIsShownAndEndsTheHandle) {
    Panel p;
    p.openAt(adapterAddress());
    const int handle = p.link.opens.at(0).result;
    ASSERT_GE(handle, 0);
    ASSERT_EQ(ORVAClose(handle), ORVA_OK);
    p.press(IDC_CLOSE);
    const std::wstring text = wide(says::handleGone);
    EXPECT_EQ(p.link.closes, std::vector<int>{handle});
    EXPECT_EQ(p.text(IDC_STATUS), text);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{text});
    EXPECT_EQ(p.messages().at(0).owner, p.window);
    expectHandleControls(p, false);
    // No handle is left: the byte button, which the flags enable, reads nothing.
    p.selectArea(flags);
    p.press(IDC_READBYTES);
    EXPECT_TRUE(p.link.reads.empty());
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{text});

    // The next Open keeps that text; the window closes only the new handle, once.
    p.press(IDC_OPEN);
    const int next = p.link.opens.at(1).result;
    EXPECT_GE(next, 0);
    EXPECT_EQ(p.text(IDC_STATUS), text);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{text});
    expectHandleControls(p, true);
    p.closeBox();
    EXPECT_EQ(p.waitForEnd(), IDCANCEL);
    EXPECT_EQ(p.link.closes, (std::vector<int>{handle, next}));
}

TEST_F(NativeDialog, EndValidatesFirstAndEnterPressesIt) {
    Panel p;
    p.setText(IDC_COUNT, L"0");
    p.press(IDOK);
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{countRangeMessage});
    EXPECT_FALSE(p.ended());
    EXPECT_TRUE(IsWindowVisible(p.window));

    // Enter in an edit presses the default button.
    p.setText(IDC_COUNT, L"4");
    SendMessageW(p.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(p.item(IDC_START)), TRUE);
    p.key(VK_RETURN);
    EXPECT_EQ(p.waitForEnd(), IDOK);
    EXPECT_EQ(p.messages().size(), 1u);
}

TEST_F(NativeDialog, EscapeEndsWithoutValidationAndTheHandleIsClosedOnceWithTheWindow) {
    Panel p;
    p.openAt(adapterAddress());
    p.press(IDC_READWORDS);  // connects
    ASSERT_EQ(p.link.reads.at(0).result, ORVA_OK);
    const int handle = p.link.opens.at(0).result;
    p.setText(IDC_COUNT, L"bad");
    SendMessageW(p.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(p.item(IDC_COUNT)), TRUE);
    p.key(VK_ESCAPE);
    EXPECT_EQ(p.waitForEnd(), IDCANCEL);
    EXPECT_TRUE(p.messages().empty());
    EXPECT_EQ(p.link.closes, std::vector<int>{handle});
    EXPECT_FALSE(IsWindow(p.window));
    ASSERT_TRUE(sim.waitForEnds(1, 5000));
    EXPECT_EQ(sim.connectionEnds(), std::vector<std::string>{"reset"});
    EXPECT_EQ(ORVAGetSockErr(handle), ORVA_ERR_HANDLE);
}

TEST_F(NativeDialog, CloseBoxEndsWithoutValidation) {
    Panel p;
    p.setText(IDC_COUNT, L"bad");
    p.closeBox();
    EXPECT_EQ(p.waitForEnd(), IDCANCEL);
    EXPECT_TRUE(p.messages().empty());
    EXPECT_TRUE(p.link.closes.empty());  // none was open
}

TEST_F(NativeDialog, AboutFromTheSystemMenu) {
    Panel p;
    HMENU menu = GetSystemMenu(p.window, FALSE);
    ASSERT_NE(menu, nullptr);
    const int n = GetMenuItemCount(menu);
    ASSERT_GE(n, 2);
    EXPECT_EQ(GetMenuItemID(menu, n - 1), static_cast<UINT>(IDM_ABOUTBOX));
    MENUITEMINFOW separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, static_cast<UINT>(n - 2), TRUE, &separator);
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
    wchar_t entry[128] = {};
    GetMenuStringW(menu, IDM_ABOUTBOX, entry, 128, MF_BYCOMMAND);
    EXPECT_STREQ(entry, L"Inf&o \u00fcber orvapanel... / Inf&o about orvapanel... ");

    // The command is told by its upper twelve bits.
    for (WPARAM command : {WPARAM{IDM_ABOUTBOX}, WPARAM{IDM_ABOUTBOX | 0x3}}) {
        PostMessageW(p.window, WM_SYSCOMMAND, command, 0);
        HWND about = waitForOwnedDialog(p.threadId, p.window);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(windowText(about), L"Info \u00fcber orvapanel");
        std::vector<std::wstring> texts;
        bool iconShown = false;
        for (HWND child = GetWindow(about, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (isIconStatic(child)) {
                iconShown = SendMessageW(child, STM_GETICON, 0, 0) != 0;
            } else {
                texts.push_back(windowText(child));
            }
        }
        EXPECT_TRUE(iconShown);
        EXPECT_EQ(texts, (std::vector<std::wstring>{L"ORVA-NET-Demo Version 1.0", L"OK"}));
        SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
        for (int i = 0; i < 200 && IsWindow(about); ++i) Sleep(5);
        EXPECT_FALSE(IsWindow(about));
    }
    EXPECT_FALSE(p.ended());
}

TEST_F(NativeDialog, MinimisedWindowDragsTheProgramIcon) {
    Panel p;
    // It has no minimise box; the system can minimise it all the same. The window lives on the panel's
    // thread, and under Wine on a loaded machine the first request can be lost while that thread is
    // still settling, so it is asked again now and then for up to ten seconds.
    for (int i = 0; i < 2000 && !IsIconic(p.window); ++i) {
        if (i % 100 == 0) ShowWindow(p.window, SW_MINIMIZE);
        Sleep(5);
    }
    EXPECT_TRUE(IsIconic(p.window));
    EXPECT_EQ(SendMessageW(p.window, WM_QUERYDRAGICON, 0, 0), SendMessageW(p.window, WM_GETICON, ICON_BIG, 0));
    RedrawWindow(p.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);  // paints without failing
    EXPECT_FALSE(p.ended());
}

TEST_F(NativeDialog, RealMessageBox) {
    Panel p(true);  // the program's message box, not a recorder
    p.setText(IDC_COUNT, L"0");
    PostMessageW(p.item(IDC_OPEN), BM_CLICK, 0, 0);  // posted: the box holds the dialog's thread
    HWND box = waitForOwnedDialog(p.threadId, p.window);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(windowText(box), orvapanel::win32::programTitle());
    EXPECT_EQ(windowText(box), L"orvapanel_win32_tests");  // the program's file name
    std::vector<std::wstring> texts;
    HICON icon = nullptr;
    int buttons = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (_wcsicmp(className, L"Button") == 0) {
            ++buttons;
        } else if (isIconStatic(child)) {
            icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        } else {
            texts.push_back(windowText(child));
        }
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), countRangeMessage), texts.end());
    EXPECT_EQ(icon, LoadIconW(nullptr, IDI_EXCLAMATION));
    EXPECT_EQ(buttons, 1);
    ASSERT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(windowText(GetDlgItem(box, IDOK)), L"OK");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 200 && IsWindowVisible(box); ++i) Sleep(5);
    EXPECT_FALSE(IsWindowVisible(box));
    SendMessageW(p.window, WM_NULL, 0, 0);  // returns once the dialog's thread is past the box
    EXPECT_EQ(p.focus(), p.item(IDC_COUNT));
    EXPECT_TRUE(p.link.opens.empty());
}

// The texts with umlauts, in the locale CTest runs this in (German and English).
TEST_F(NativeDialog, UmlautsShowInTheLocale) {
    const std::string expectedLanguage = orvaext::fromEnvironment("ORVAPANEL_EXPECT_LANGUAGE", "");
    if (!expectedLanguage.empty()) {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
        EXPECT_EQ(orvapanel::win32::utf8Of(name), expectedLanguage) << "the locale Wine runs in";
    }
    Panel p;
    EXPECT_EQ(p.areaItems().at(6), L"Z\u00e4hler / Counter");
    wchar_t entry[128] = {};
    GetMenuStringW(GetSystemMenu(p.window, FALSE), IDM_ABOUTBOX, entry, 128, MF_BYCOMMAND);
    EXPECT_STREQ(entry, L"Inf&o \u00fcber orvapanel... / Inf&o about orvapanel... ");
    PostMessageW(p.window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = waitForOwnedDialog(p.threadId, p.window);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(windowText(about), L"Info \u00fcber orvapanel");
    // What a program of the ANSI code page reads: the same text in its 8-bit form.
    char ansi[64] = {};
    GetWindowTextA(about, ansi, 64);
    EXPECT_EQ(orvapanel::win32::wideOf(orvapanel::win32::utf8Of(windowText(about))), windowText(about));
    if (GetACP() == 1252) {
        EXPECT_STREQ(ansi,
                     "Info \xfc"
                     "ber orvapanel");
    }
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 200 && IsWindow(about); ++i) Sleep(5);

    // A status text with an umlaut, in the status line and in the message.
    p.openAt(adapterAddress());
    sim.armReplyFault("wrongDataLength", 1);
    p.read('W', L"1", L"0", L"1");
    EXPECT_EQ(p.text(IDC_STATUS), L"Zeit\u00fcberlauf! / Timeout!");
    EXPECT_EQ(p.messageTexts(), std::vector<std::wstring>{L"Zeit\u00fcberlauf! / Timeout!"});
}
