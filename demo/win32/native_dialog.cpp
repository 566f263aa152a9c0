// SPDX-License-Identifier: Apache-2.0
#include "native_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "panel.h"
#include "read_rows.h"
#include "resource.h"

namespace orvapanel::win32 {
namespace {

constexpr UINT dialogInitCodePage = 1252;  // the area texts of orvapanel.rc

std::wstring programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring programDirectory() {
    const std::wstring path = programPath();
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring textOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

int controlId(Field field) {
    switch (field) {
    case Field::count: return IDC_COUNT;
    case Field::dbNumber: return IDC_DBNUMBER;
    case Field::ipAddress: return IDC_IPADDRESS;
    case Field::start: return IDC_START;
    case Field::ownTsap: return IDC_OWNTSAP;
    case Field::plcTsap: return IDC_PLCTSAP;
    case Field::area: break;
    }
    return IDC_AREA;
}

int controlId(Control control) {
    switch (control) {
    case Control::ipAddress: return IDC_IPADDRESS;
    case Control::ownTsap: return IDC_OWNTSAP;
    case Control::plcTsap: return IDC_PLCTSAP;
    case Control::dbNumber: return IDC_DBNUMBER;
    case Control::open: return IDC_OPEN;
    case Control::close: return IDC_CLOSE;
    case Control::readBytes: return IDC_READBYTES;
    case Control::readWords: return IDC_READWORDS;
    }
    return IDC_OPEN;
}

// Where the dialog classes put a modal dialog whose template leaves its place
// to them: centred on its owner, or on the screen's work area.
void centre(HWND window) {
    RECT frame, around;
    GetWindowRect(window, &frame);
    if (HWND owner = GetWindow(window, GW_OWNER); owner != nullptr) {
        GetWindowRect(owner, &around);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    }
    const int x = around.left + ((around.right - around.left) - (frame.right - frame.left)) / 2;
    const int y = around.top + ((around.bottom - around.top) - (frame.bottom - frame.top)) / 2;
    SetWindowPos(window, nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: centre(window); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

class NativeDialog final : public PanelView {
public:
    NativeDialog(HINSTANCE instance, PlcLink& link, MessageSink messages)
        : instance(instance),
          messages(std::move(messages)),
          icon(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
          normalCursor(GetCursor()),
          waitCursor(LoadCursorW(nullptr, IDC_WAIT)),
          panel(link, *this) {
        // A thread that has shown no window yet has no cursor to go back to.
        if (normalCursor == nullptr) normalCursor = LoadCursorW(nullptr, IDC_ARROW);
    }

    ~NativeDialog() override {
        if (logo != nullptr) DeleteObject(logo);  // after the window is gone
    }

    INT_PTR run() {
        return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ORVAPANEL_DIALOG), nullptr, dialogProc,
                               reinterpret_cast<LPARAM>(this));
    }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<NativeDialog*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            self->window = window;
            return self->initialise();
        }
        auto* self = reinterpret_cast<NativeDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        return self == nullptr ? FALSE : self->onMessage(message, wParam);
    }

    INT_PTR onMessage(UINT message, WPARAM wParam) {
        switch (message) {
        case WM_COMMAND: return onCommand(LOWORD(wParam), HIWORD(wParam));
        case WM_SYSCOMMAND:
            if ((wParam & SYSTEM_COMMAND_MASK) == IDM_ABOUTBOX) {
                DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, aboutProc, 0);
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            if (IsIconic(window)) {
                paintMinimised();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon);
        case WM_DESTROY: panel.windowDestroyed(); return FALSE;
        }
        return FALSE;
    }

    INT_PTR onCommand(int id, int code) {
        switch (id) {
        case IDOK:  // "Ende / End", and Enter
            if (panel.end()) EndDialog(window, IDOK);
            return TRUE;
        case IDCANCEL:  // Escape and the close box: no exchange
            EndDialog(window, IDCANCEL);
            return TRUE;
        case IDC_OPEN: panel.open(); return TRUE;
        case IDC_CLOSE: panel.close(); return TRUE;
        case IDC_READBYTES: panel.readBytes(); return TRUE;
        case IDC_READWORDS: panel.readWords(); return TRUE;
        case IDC_AREA:
            if (code != CBN_SELCHANGE) return FALSE;
            panel.areaChanged();
            return TRUE;
        }
        return FALSE;
    }

    BOOL initialise() {
        fillFromDialogInit();
        SendMessageW(item(IDC_OWNTSAP), EM_LIMITTEXT, maxTsapChars, 0);
        SendMessageW(item(IDC_PLCTSAP), EM_LIMITTEXT, maxTsapChars, 0);
        addAboutEntry();
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        SendMessageW(item(IDC_AREA), CB_SETCURSEL, 0, 0);
        panel.start();
        setUpList();
        showLogo();
        centre(window);
        return TRUE;  // the focus goes to the first control of the tab order, "Ende / End"
    }

    // The area list's items come from the template's initial data: entries of
    // control id, message and length, then the data, up to a zero id.
    void fillFromDialogInit() {
        HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDD_ORVAPANEL_DIALOG), MAKEINTRESOURCEW(RT_DIALOG_INIT));
        if (found == nullptr) return;
        const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(instance, found)));
        const std::size_t size = SizeofResource(instance, found);
        if (data == nullptr) return;
        for (std::size_t at = 0; at + 8 <= size;) {
            WORD id = 0, message = 0;
            DWORD length = 0;
            std::memcpy(&id, data + at, sizeof id);
            std::memcpy(&message, data + at + 2, sizeof message);
            std::memcpy(&length, data + at + 4, sizeof length);
            at += 8;
            if (id == 0 || length > size - at) break;
            if (message == DIALOG_INIT_CB_ADDSTRING) {
                const auto* text = reinterpret_cast<const char*>(data + at);
                const int bytes = static_cast<int>(strnlen(text, length));
                std::wstring wide(static_cast<std::size_t>(bytes), L'\0');
                wide.resize(static_cast<std::size_t>(
                    MultiByteToWideChar(dialogInitCodePage, 0, text, bytes, wide.data(), bytes)));
                SendDlgItemMessageW(window, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
            }
            at += length;
        }
    }

    void addAboutEntry() {
        HMENU menu = GetSystemMenu(window, FALSE);
        if (menu == nullptr) return;
        wchar_t text[128];
        if (LoadStringW(instance, IDS_ABOUTBOX, text, static_cast<int>(std::size(text))) <= 0) return;
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text);
    }

    void setUpList() {
        HWND list = item(IDC_LIST);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        // The list stretches its last column over what is left of its width
        // (or, before it has its size, shrinks it to nothing): sized while one
        // more column follows it, each column takes just its heading's width.
        const int spare = static_cast<int>(listColumns.size());
        for (std::size_t i = 0; i < listColumns.size(); ++i) {
            insertColumn(list, static_cast<int>(i), listColumns[i].heading, listColumns[i].rightAligned);
            if (i == 0) insertColumn(list, spare, {}, false);
            SendMessageW(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
            fitHeading(list, static_cast<int>(i), listColumns[i].heading);
        }
        SendMessageW(list, LVM_DELETECOLUMN, static_cast<WPARAM>(spare), 0);
        // The address column as wide as the list itself needs for the longest
        // address of any allowed read, measured on rows put in and taken out.
        for (const std::string& text : longestAddressTexts()) insertRow(list, text);
        SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE, 0));
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    }

    // Wine's list sizes a column to its heading a pixel narrower than its
    // header draws the heading in, with its margin on either side; the
    // heading would end in an ellipsis.
    static void fitHeading(HWND list, int column, std::string_view heading) {
        const std::wstring text = wideOf(std::string(heading));
        const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        const auto margin = static_cast<int>(SendMessageW(header, HDM_GETBITMAPMARGIN, 0, 0));
        const int needed =
            static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str()))) +
            2 * margin;
        if (SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0) < needed) {
            SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(needed, 0));
        }
    }

    static void insertColumn(HWND list, int index, std::string_view heading, bool rightAligned) {
        std::wstring text = wideOf(std::string(heading));
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = rightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.pszText = text.data();
        column.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }

    void showLogo() {
        for (const std::string& path : logoPaths(utf8Of(programDirectory()), true)) {
            logo = static_cast<HBITMAP>(LoadImageW(nullptr, wideOf(path).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
            if (logo != nullptr) {
                SendMessageW(item(IDC_LOGO), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo));
                return;
            }
        }
    }

    void paintMinimised() {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        const int iconWidth = GetSystemMetrics(SM_CXICON);
        const int iconHeight = GetSystemMetrics(SM_CYICON);
        RECT client;
        GetClientRect(window, &client);
        DrawIcon(dc, (client.right - client.left - iconWidth + 1) / 2,
                 (client.bottom - client.top - iconHeight + 1) / 2, icon);
        EndPaint(window, &paint);
    }

    HWND item(int id) const { return GetDlgItem(window, id); }

    int insertRow(HWND list, const std::string& address) {
        wideInto(rowText, address);
        LVITEMW row{};
        row.mask = LVIF_TEXT;
        row.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        row.pszText = rowText.data();
        return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    }

    void setCell(HWND list, int row, int column, const std::string& text) {
        wideInto(rowText, text);
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = rowText.data();
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    }

    // One buffer for every text of every row.
    static void wideInto(std::wstring& buffer, const std::string& utf8) {
        buffer.assign(utf8.begin(), utf8.end());  // row texts are ASCII
    }

    // PanelView
    FieldTexts fieldTexts() const override {
        auto text = [this](int id) { return utf8Of(textOf(item(id))); };
        return {text(IDC_COUNT), text(IDC_DBNUMBER), text(IDC_IPADDRESS),
                text(IDC_START), text(IDC_OWNTSAP),  text(IDC_PLCTSAP)};
    }

    void setFieldTexts(const FieldTexts& texts) override {
        SetDlgItemTextW(window, IDC_COUNT, wideOf(texts.count).c_str());
        SetDlgItemTextW(window, IDC_DBNUMBER, wideOf(texts.dbNumber).c_str());
        SetDlgItemTextW(window, IDC_IPADDRESS, wideOf(texts.ipAddress).c_str());
        SetDlgItemTextW(window, IDC_START, wideOf(texts.start).c_str());
        SetDlgItemTextW(window, IDC_OWNTSAP, wideOf(texts.ownTsap).c_str());
        SetDlgItemTextW(window, IDC_PLCTSAP, wideOf(texts.plcTsap).c_str());
    }

    int selectedAreaIndex() const override {
        return static_cast<int>(SendMessageW(item(IDC_AREA), CB_GETCURSEL, 0, 0));
    }

    void setControlEnabled(Control control, bool enabled) override { EnableWindow(item(controlId(control)), enabled); }

    void showMessage(const std::string& text) override { messages(window, wideOf(text)); }

    void focusAndSelectAll(Field field) override {
        HWND edit = item(controlId(field));
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        SendMessageW(edit, EM_SETSEL, 0, -1);
    }

    // A read-only edit shows a long text from its first character.
    void setStatus(const std::string& text) override { SetDlgItemTextW(window, IDC_STATUS, wideOf(text).c_str()); }

    void beginListFill() override {
        HWND list = item(IDC_LIST);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    }

    void showRows(const std::vector<RowTexts>& rows) override {
        HWND list = item(IDC_LIST);
        for (const RowTexts& row : rows) {
            const int index = insertRow(list, row.address);
            setCell(list, index, 2, row.hex);
            setCell(list, index, 1, row.decimal);
            if (!row.chars.empty()) setCell(list, index, 3, row.chars);
        }
    }

    void endListFill() override {
        HWND list = item(IDC_LIST);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }

    void setWaitCursor(bool waiting) override { SetCursor(waiting ? waitCursor : normalCursor); }

    HINSTANCE instance;
    MessageSink messages;
    HWND window = nullptr;
    HICON icon;
    HCURSOR normalCursor;
    HCURSOR waitCursor;
    HBITMAP logo = nullptr;
    std::wstring rowText;
    Panel panel;
};

}  // namespace

std::wstring wideOf(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string utf8Of(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::wstring programTitle() {
    std::wstring name = programPath();
    if (const auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) name.erase(0, slash + 1);
    if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) name.erase(dot);
    return name;
}

void showMessageBox(HWND owner, const std::wstring& text) {
    MessageBoxW(owner, text.c_str(), programTitle().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

INT_PTR runDemoDialog(HINSTANCE instance, PlcLink& link, MessageSink messages) {
    NativeDialog dialog(instance, link, std::move(messages));
    return dialog.run();
}

}  // namespace orvapanel::win32
