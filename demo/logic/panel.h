/* SPDX-License-Identifier: Apache-2.0 */
// What the panel's window does, without a toolkit: the exchange of the edits
// with their validation, the area rule, Open, Close, the two reads and the
// status line, and which controls each of them enables. A view (Qt widgets,
// a Win32 dialog) implements PanelView and forwards its events here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dialog_fields.h"
#include "plc_link.h"
#include "read_rows.h"

namespace orvapanel {

inline constexpr int noHandle = -1;
inline constexpr int openTimeoutMs = 10000;  // receive, send and connect alike

// The controls whose enabled state the panel sets.
enum class Control { ipAddress, ownTsap, plcTsap, dbNumber, open, close, readBytes, readWords };

// The toolkit's side. Texts are UTF-8.
class PanelView {
public:
    virtual ~PanelView() = default;

    virtual FieldTexts fieldTexts() const = 0;
    virtual void setFieldTexts(const FieldTexts& texts) = 0;
    virtual int selectedAreaIndex() const = 0;
    virtual void setControlEnabled(Control control, bool enabled) = 0;
    // A modal message with an OK button and an exclamation icon.
    virtual void showMessage(const std::string& text) = 0;
    // Keyboard focus to the edit of field, its whole text selected.
    virtual void focusAndSelectAll(Field field) = 0;
    virtual void setStatus(const std::string& text) = 0;
    // Around one read: redrawing of the list suspended and its rows deleted;
    // the rows of a read that succeeded; redrawing resumed.
    virtual void beginListFill() = 0;
    virtual void showRows(const std::vector<RowTexts>& rows) = 0;
    virtual void endListFill() = 0;
    virtual void setWaitCursor(bool waiting) = 0;
};

class Panel {
public:
    Panel(PlcLink& link, PanelView& view) : link(link), view(view) {}
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // The window is up: the edits get their texts and the controls their start states.
    void start();
    // The exchange in the save direction with the area rule; false, with the
    // message shown and the failing edit focused, when a field is refused.
    bool save();
    void areaChanged() { save(); }
    void open();
    void close();
    void readBytes() { read(Unit::byte); }
    void readWords() { read(Unit::word); }
    // The default button: true when the dialog may end.
    bool end() { return save(); }
    // The window goes away: an open handle is closed, with nothing shown.
    void windowDestroyed();

    int handle() const { return handleValue; }
    int lastResult() const { return lastResultValue; }
    const DialogFields& fields() const { return fieldValues; }

private:
    void applyAreaRule();
    void setHandleControls(bool open);
    void showStatus();
    void read(Unit unit);

    PlcLink& link;
    PanelView& view;
    DialogFields fieldValues;
    int handleValue = noHandle;
    int lastResultValue = 0;
    std::array<std::uint8_t, maxCount> byteBuffer{};
    std::array<std::uint16_t, maxCount> wordBuffer{};
};

// The library takes 8-bit strings, one byte a character (as the TSAP limit
// counts); a character beyond Latin-1 becomes '?'.
std::string latin1Of(const std::string& utf8);

// Where the logo "oem.bmp" is looked for, in order: the working directory,
// then the installed copy relative to the program's folder (beside the
// program on Windows, ../share/orvanet elsewhere).
std::vector<std::string> logoPaths(const std::string& programDirectory, bool windowsLayout);

}  // namespace orvapanel
