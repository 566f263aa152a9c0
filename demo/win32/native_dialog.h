/* SPDX-License-Identifier: Apache-2.0 */
// The panel as a native Windows dialog: the templates of orvapanel.rc over
// the rules of demo/logic. Nothing here decides what a control shows or
// whether it is enabled; it only carries the Panel's wishes to the controls.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "plc_link.h"

namespace orvapanel::win32 {

// Every message to the user goes through one of these; tests record them.
using MessageSink = std::function<void(HWND owner, const std::wstring& text)>;

// The program's message box: OK, the exclamation icon, titled with the program's name.
void showMessageBox(HWND owner, const std::wstring& text);

// The program's file name without its folder and extension.
std::wstring programTitle();

// Runs the main dialog (template 102 of the module instance) modally and
// returns once its window is gone: IDOK after "Ende / End" or Enter, IDCANCEL
// after Escape or the close box. An open handle is closed with the window.
INT_PTR runDemoDialog(HINSTANCE instance, PlcLink& link, MessageSink messages = showMessageBox);

// UTF-8, the logic's texts, and UTF-16, the controls' texts.
std::wstring wideOf(const std::string& utf8);
std::string utf8Of(const std::wstring& wide);

}  // namespace orvapanel::win32
