/* SPDX-License-Identifier: Apache-2.0 */
// The application: runs the panel's dialog modally and ends with it.
#pragma once

#include <QApplication>

namespace orvapanel {

class DemoApp : public QApplication {
    Q_OBJECT
public:
    DemoApp(int& argc, char** argv);

    // Runs the dialog; no event loop follows it, so the program ends here.
    int run();
};

}  // namespace orvapanel
