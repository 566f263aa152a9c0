// SPDX-License-Identifier: Apache-2.0
#include "panel.h"

#include <span>

#include "area.h"
#include "orvanet.h"
#include "status_text.h"

namespace orvapanel {

void Panel::start() {
    view.setFieldTexts(fieldTexts(fieldValues));
    setHandleControls(false);  // the read-bytes button too, until the first exchange
    view.setControlEnabled(Control::dbNumber, areaControls(fieldValues.areaLetter).dbNumberEnabled);
}

bool Panel::save() {
    if (const auto failure = readFieldTexts(view.fieldTexts(), view.selectedAreaIndex(), fieldValues)) {
        view.showMessage(failure->message);
        view.focusAndSelectAll(failure->field);
        return false;
    }
    applyAreaRule();
    return true;
}

void Panel::applyAreaRule() {
    const AreaControls controls = areaControls(fieldValues.areaLetter);
    view.setControlEnabled(Control::readBytes, controls.readBytesEnabled);
    view.setControlEnabled(Control::dbNumber, controls.dbNumberEnabled);
}

// The two states of the dialog, told by the handle. The read-bytes button is
// enabled by Open whatever the area; the next exchange applies the area rule.
void Panel::setHandleControls(bool open) {
    view.setControlEnabled(Control::open, !open);
    view.setControlEnabled(Control::close, open);
    view.setControlEnabled(Control::readBytes, open);
    view.setControlEnabled(Control::readWords, open);
    view.setControlEnabled(Control::ipAddress, !open);
    view.setControlEnabled(Control::ownTsap, !open);
    view.setControlEnabled(Control::plcTsap, !open);
}

void Panel::open() {
    if (!save()) return;
    const std::string ip = latin1Of(fieldValues.ipAddress);
    const std::string own = latin1Of(fieldValues.ownTsap);
    const std::string plc = latin1Of(fieldValues.plcTsap);
    handleValue = link.open(ip.c_str(), own.c_str(), plc.c_str(), openTimeoutMs, openTimeoutMs, openTimeoutMs);
    if (handleValue < 0) {
        lastResultValue = handleValue;
        showStatus();
        return;
    }
    lastResultValue = ORVA_OK;  // a successful open says nothing
    setHandleControls(true);
}

void Panel::close() {
    if (handleValue < 0) return;
    lastResultValue = link.close(handleValue);
    setHandleControls(false);  // whatever the result
    handleValue = noHandle;
    showStatus();
}

void Panel::windowDestroyed() {
    if (handleValue < 0) return;
    lastResultValue = link.close(handleValue);  // not shown: the window is going
    handleValue = noHandle;
}

void Panel::showStatus() {
    const int socketError = needsSocketError(lastResultValue) ? link.socketError(handleValue) : 0;
    const std::string text = statusText(lastResultValue, socketError);
    view.setStatus(text);
    if (showsMessageBox(lastResultValue)) view.showMessage(text);
}

void Panel::read(Unit unit) {
    // The area rule can enable the byte button with no handle open: then it does nothing.
    if (handleValue < 0) return;
    if (!save()) return;
    view.beginListFill();
    view.setWaitCursor(true);
    const int letter = static_cast<unsigned char>(fieldValues.areaLetter);
    const auto db = static_cast<int>(fieldValues.dbNumber);
    const auto start = static_cast<int>(fieldValues.start);
    const auto count = static_cast<int>(fieldValues.count);
    if (unit == Unit::byte) {
        lastResultValue = link.readBytes(handleValue, letter, db, start, count, byteBuffer.data());
    } else {
        lastResultValue = link.readWords(handleValue, letter, db, start, count, wordBuffer.data());
    }
    if (lastResultValue == ORVA_OK) {
        const char area = fieldValues.areaLetter;
        if (unit == Unit::byte) {
            view.showRows(byteRows(area, fieldValues.dbNumber, fieldValues.start,
                                   std::span(byteBuffer.data(), fieldValues.count)));
        } else {
            view.showRows(wordRows(area, fieldValues.dbNumber, fieldValues.start,
                                   std::span(wordBuffer.data(), fieldValues.count)));
        }
    }
    view.endListFill();
    view.setWaitCursor(false);
    showStatus();
}

std::string latin1Of(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80             ? 1
                           : (lead & 0xE0) == 0xC0 ? 2
                           : (lead & 0xF0) == 0xE0 ? 3
                           : (lead & 0xF8) == 0xF0 ? 4
                                                   : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > utf8.size()) {
            out += '?';
            ++i;
            continue;
        }
        unsigned codePoint = length == 1 ? lead : lead & (0x7Fu >> length);
        bool valid = true;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            valid = valid && (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        out += valid && codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
        i += valid ? static_cast<std::size_t>(length) : 1;
    }
    return out;
}

std::vector<std::string> logoPaths(const std::string& programDirectory, bool windowsLayout) {
    std::vector<std::string> paths{"oem.bmp"};
    if (programDirectory.empty()) return paths;
    if (windowsLayout) {
        paths.push_back(programDirectory + "\\oem.bmp");
    } else {
        paths.push_back(programDirectory + "/../share/orvanet/oem.bmp");
    }
    return paths;
}

}  // namespace orvapanel
