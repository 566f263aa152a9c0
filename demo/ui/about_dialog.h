/* SPDX-License-Identifier: Apache-2.0 */
// The about box: the program's icon, name and version.
#pragma once

#include <QDialog>

namespace orvapanel {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

// The program icon, also the windows' icon.
QIcon programIcon();

}  // namespace orvapanel
