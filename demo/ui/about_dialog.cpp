// SPDX-License-Identifier: Apache-2.0
#include "about_dialog.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "dialog_geometry.h"

namespace orvapanel {
namespace {

constexpr int iconPixels = 32;

}  // namespace

QIcon programIcon() { return QIcon(QStringLiteral(":/orvapanel/orvapanel.png")); }

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    namespace t = aboutTemplate;
    setWindowTitle(QStringLiteral("Info über orvapanel"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    const DialogUnits units = dialogUnitsOf(font());
    setFixedSize(units.horizontal(t::width), units.vertical(t::height));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(programIcon().pixmap(iconPixels, iconPixels));
    icon->setGeometry(units.horizontal(t::icon.x), units.vertical(t::icon.y), iconPixels, iconPixels);

    auto* text = new QLabel(QStringLiteral("ORVA-NET-Demo Version 1.0"), this);
    text->setObjectName(QStringLiteral("text"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeLabel(text, units, t::text);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    place(ok, units, t::ok);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace orvapanel
