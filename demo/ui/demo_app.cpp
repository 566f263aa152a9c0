// SPDX-License-Identifier: Apache-2.0
#include "demo_app.h"

#include "about_dialog.h"
#include "demo_dialog.h"

namespace orvapanel {

DemoApp::DemoApp(int& argc, char** argv) : QApplication(argc, argv) { setWindowIcon(programIcon()); }

int DemoApp::run() {
    DemoDialog dialog;
    dialog.exec();
    return 0;
}

}  // namespace orvapanel
