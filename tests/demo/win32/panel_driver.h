/* SPDX-License-Identifier: Apache-2.0 */
// What the tests of the native dialog share: the recording link
// (recording_link.h) with the cursor and the list during each read, and a
// driver that runs the real modal dialog (runDemoDialog, as orvapanel.exe
// does) on a thread of its own and works its controls from the test's thread
// with the messages a user's actions send. Messages go to a recorder unless a
// test asks for the real box.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "native_dialog.h"
#include "panel_cases.h"
#include "recording_link.h"

namespace panel_test {

// What the list was told, as the dialog's thread sent it: 'r' redrawing
// suspended, 'R' resumed, 'D' all rows deleted, 'i' a row inserted.
struct ListLog {
    std::string events;
    bool redraw = true;
};

// What the window showed while the library call ran: the cursor and the list.
struct ListWatch {
    struct During {
        HCURSOR cursor;
        bool listRedraws;
        int listRows;
        std::string listEvents;  // the list's log up to the call
    };
    During operator()() const;

    HWND list = nullptr;  // set by the driver
    const ListLog* log = nullptr;
};

using RecordingLink = RecordingLinkWith<ListWatch>;
using ReadCall = RecordingLink::ReadCall;

struct Message {
    std::wstring text;
    HWND owner;
    HCURSOR cursor;  // the cursor when it was shown
};

// The dialog, up from construction to destruction.
class Panel {
public:
    // realMessageBoxes: the program's own message boxes instead of the recorder.
    explicit Panel(bool realMessageBoxes = false);
    ~Panel();  // ends the dialog with Escape if it is still up
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    RecordingLink link;
    ListLog listLog;  // from the dialog's start on
    HWND window = nullptr;
    DWORD threadId = 0;

    HWND item(int id) const { return GetDlgItem(window, id); }
    std::wstring text(int id) const;
    void setText(int id, const std::wstring& text) const;
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    // A click: only an enabled button can be pressed.
    void press(int id) const;
    void selectArea(int index) const;
    int selectedArea() const;
    std::vector<std::wstring> areaItems() const;
    HWND focus() const;
    std::pair<int, int> selection(int editId) const;

    // The list, as "address|decimal|hex|chars" per row.
    std::vector<std::wstring> rows() const;
    int rowCount() const;
    int columnWidth(int column) const;
    std::wstring heading(int column) const;
    int headingFormat(int column) const;

    // Posts a key to the focused control, as the keyboard does, and waits until it is handled.
    void key(WPARAM virtualKey) const;
    void closeBox() const;
    // Waits for the dialog to end; its result (IDOK, IDCANCEL).
    INT_PTR waitForEnd();
    bool ended() const { return finished.load(); }

    std::vector<Message> messages() const;
    std::vector<std::wstring> messageTexts() const;
    void clearMessages();

    // Opens against a loopback adapter: the default address is never to be reached.
    void openAt(const std::string& address) const;
    void read(char unit, const std::wstring& db, const std::wstring& start, const std::wstring& count) const;

private:
    // A text the list copies into a request of its kind (LVITEMW, LVCOLUMNW) with message.
    template <class Request>
    std::wstring listText(UINT message, WPARAM which, Request request) const;
    void record(HWND owner, const std::wstring& text);
    void sync() const;

    mutable std::mutex lock;
    std::vector<Message> recorded;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::atomic<INT_PTR> result{0};
};

// The about box or a message box that the dialog's thread has up, owned by owner.
HWND waitForOwnedDialog(DWORD threadId, HWND owner, int timeoutMs = 5000);

std::wstring windowText(HWND window);
std::wstring wide(const std::string& utf8);

// The addresses of the simulator (from CTest's environment).
std::string adapterAddress();
std::string refusingAddress();

}  // namespace panel_test
