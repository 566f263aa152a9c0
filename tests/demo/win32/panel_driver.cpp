// SPDX-License-Identifier: Apache-2.0
#include "panel_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>

#include "external_env.h"
#include "resource.h"

namespace panel_test {
namespace {

// A first dialog in a new Wine prefix can take seconds to come up.
constexpr int startTimeoutMs = 30000;

struct Search {
    const wchar_t* title;  // or null for any
    HWND owner;            // or null for an unowned window
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    if (GetWindow(window, GW_OWNER) != search->owner) return TRUE;
    if (search->title != nullptr && windowText(window) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

HWND findDialog(DWORD threadId, const wchar_t* title, HWND owner, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        Search search{title, owner, nullptr};
        EnumThreadWindows(threadId, matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(5);
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
}

// The list of the one dialog up at a time (window properties would cost a
// round trip to Wine's server for every message of a 2048-row fill).
std::atomic<ListLog*> currentLog{nullptr};
std::atomic<WNDPROC> listProc{nullptr};

// Runs on the dialog's thread, in front of the list's own procedure.
LRESULT CALLBACK recordingListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    ListLog* log = currentLog;
    const WNDPROC original = listProc;
    switch (message) {
    case WM_SETREDRAW:
        log->events += wParam ? 'R' : 'r';
        log->redraw = wParam != 0;
        break;
    case LVM_DELETEALLITEMS: log->events += 'D'; break;
    case LVM_INSERTITEMW: log->events += 'i'; break;
    }
    return CallWindowProcW(original, list, message, wParam, lParam);
}

}  // namespace

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring wide(const std::string& utf8) { return orvapanel::win32::wideOf(utf8); }

std::string adapterAddress() { return orvaext::simAddress(); }
std::string refusingAddress() { return ORVAPANEL_REFUSING_ADDRESS; }

HWND waitForOwnedDialog(DWORD threadId, HWND owner, int timeoutMs) {
    return findDialog(threadId, nullptr, owner, timeoutMs);
}

// --- What a read saw ----------------------------------------------------------

ListWatch::During ListWatch::operator()() const {
    return {GetCursor(), log->redraw, static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), log->events};
}

// --- Panel --------------------------------------------------------------------

Panel::Panel(bool realMessageBoxes) {
    std::atomic<DWORD> id{0};
    thread = std::thread([this, realMessageBoxes, &id] {
        id = GetCurrentThreadId();
        orvapanel::win32::MessageSink sink = orvapanel::win32::showMessageBox;
        if (!realMessageBoxes) sink = [this](HWND owner, const std::wstring& text) { record(owner, text); };
        result = orvapanel::win32::runDemoDialog(GetModuleHandleW(nullptr), link, sink);
        finished = true;
    });
    while (id == 0) Sleep(1);
    threadId = id;
    window = findDialog(threadId, L"ORVA-NET-DEMO", nullptr, startTimeoutMs);
    if (window == nullptr) {
        ADD_FAILURE() << "the dialog did not appear";
        return;
    }
    HWND list = item(IDC_LIST);
    link.watch.list = list;
    link.watch.log = &listLog;
    currentLog = &listLog;
    listProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list, GWLP_WNDPROC));
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingListProc));
    sync();
}

Panel::~Panel() {
    if (!finished) {
        if (window == nullptr) window = findDialog(threadId, L"ORVA-NET-DEMO", nullptr, startTimeoutMs);
        if (window != nullptr) {
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        } else {
            PostThreadMessageW(threadId, WM_QUIT, 0, 0);  // ends a modal loop whatever window it runs
        }
    }
    thread.join();
}

void Panel::sync() const { SendMessageW(window, WM_NULL, 0, 0); }

std::wstring Panel::text(int id) const { return windowText(item(id)); }

void Panel::setText(int id, const std::wstring& value) const {
    SendMessageW(item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
}

void Panel::press(int id) const {
    if (!enabled(id)) {
        ADD_FAILURE() << "button " << id << " is disabled";
        return;
    }
    SendMessageW(item(id), BM_CLICK, 0, 0);
}

void Panel::selectArea(int index) const {
    HWND box = item(IDC_AREA);
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    // What the box tells its dialog when the user picks an item.
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_AREA, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

int Panel::selectedArea() const { return static_cast<int>(SendMessageW(item(IDC_AREA), CB_GETCURSEL, 0, 0)); }

std::vector<std::wstring> Panel::areaItems() const {
    std::vector<std::wstring> items;
    const int n = static_cast<int>(SendMessageW(item(IDC_AREA), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[64] = {};
        SendMessageW(item(IDC_AREA), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

HWND Panel::focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

std::pair<int, int> Panel::selection(int editId) const {
    DWORD from = 0, to = 0;
    SendMessageW(item(editId), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    return {static_cast<int>(from), static_cast<int>(to)};
}

int Panel::rowCount() const { return static_cast<int>(SendMessageW(item(IDC_LIST), LVM_GETITEMCOUNT, 0, 0)); }

std::vector<std::wstring> Panel::rows() const {
    std::vector<std::wstring> out;
    for (int r = 0, n = rowCount(); r < n; ++r) {
        std::wstring row;
        for (int c = 0; c < 4; ++c) {
            LVITEMW cell{};
            cell.iSubItem = c;
            row += (c == 0 ? L"" : L"|") + listText(LVM_GETITEMTEXTW, static_cast<WPARAM>(r), cell);
        }
        out.push_back(row);
    }
    return out;
}

int Panel::columnWidth(int column) const {
    return static_cast<int>(SendMessageW(item(IDC_LIST), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

std::wstring Panel::heading(int column) const {
    LVCOLUMNW request{};
    request.mask = LVCF_TEXT;
    return listText(LVM_GETCOLUMNW, static_cast<WPARAM>(column), request);
}

template <class Request>
std::wstring Panel::listText(UINT message, WPARAM which, Request request) const {
    wchar_t text[64] = {};
    request.pszText = text;
    request.cchTextMax = static_cast<int>(std::size(text));
    SendMessageW(item(IDC_LIST), message, which, reinterpret_cast<LPARAM>(&request));
    return text;
}

int Panel::headingFormat(int column) const {
    LVCOLUMNW request{};
    request.mask = LVCF_FMT;
    SendMessageW(item(IDC_LIST), LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&request));
    return request.fmt & LVCFMT_JUSTIFYMASK;
}

void Panel::key(WPARAM virtualKey) const {
    HWND target = focus();
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

void Panel::closeBox() const { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

INT_PTR Panel::waitForEnd() {
    for (int waited = 0; !finished && waited < startTimeoutMs; waited += 5) Sleep(5);
    EXPECT_TRUE(finished.load()) << "the dialog did not end";
    return result;
}

void Panel::record(HWND owner, const std::wstring& text) {
    const std::lock_guard<std::mutex> guard(lock);
    recorded.push_back({text, owner, GetCursor()});
}

std::vector<Message> Panel::messages() const {
    const std::lock_guard<std::mutex> guard(lock);
    return recorded;
}

std::vector<std::wstring> Panel::messageTexts() const {
    std::vector<std::wstring> texts;
    for (const Message& m : messages()) texts.push_back(m.text);
    return texts;
}

void Panel::clearMessages() {
    const std::lock_guard<std::mutex> guard(lock);
    recorded.clear();
}

void Panel::openAt(const std::string& address) const {
    setText(IDC_IPADDRESS, wide(address));
    press(IDC_OPEN);
}

void Panel::read(char unit, const std::wstring& db, const std::wstring& start, const std::wstring& count) const {
    setText(IDC_DBNUMBER, db);
    setText(IDC_START, start);
    setText(IDC_COUNT, count);
    press(unit == 'B' ? IDC_READBYTES : IDC_READWORDS);
}

}  // namespace panel_test
