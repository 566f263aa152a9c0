/* SPDX-License-Identifier: Apache-2.0 */
// What the dialog tests share: the recording link (recording_link.h) with the
// cursor during each read, a recorder for messages, and widget look-ups.
#pragma once

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QtTest>
#include <memory>
#include <optional>

#include "demo_dialog.h"
#include "panel_cases.h"
#include "recording_link.h"
#include "sim_server.h"

namespace panel_test {

// What the window showed during a read: the override cursor, if any.
struct CursorWatch {
    struct During {
        std::optional<Qt::CursorShape> cursor;
    };
    During operator()() const {
        if (const QCursor* c = QGuiApplication::overrideCursor()) return {c->shape()};
        return {};
    }
};

using RecordingLink = RecordingLinkWith<CursorWatch>;
using ReadCall = RecordingLink::ReadCall;

// One dialog on a recording link, its messages recorded instead of shown.
struct Panel {
    RecordingLink link;
    QStringList messages;
    std::unique_ptr<orvapanel::DemoDialog> dialog;

    Panel() : dialog(std::make_unique<orvapanel::DemoDialog>(link)) {
        dialog->setMessageHandler([this](QWidget*, const QString& text) { messages << text; });
    }

    template <class W>
    W* child(const char* name) const {
        W* w = dialog->findChild<W*>(QLatin1String(name));
        if (w == nullptr) qFatal("no control named %s", name);
        return w;
    }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QComboBox* area() const { return child<QComboBox>("area"); }
    QTableView* list() const { return child<QTableView>("list"); }
    QString status() const { return edit("status")->text(); }

    void setText(const char* editName, const QString& text) const { edit(editName)->setText(text); }
    void click(const char* buttonName) const { QTest::mouseClick(button(buttonName), Qt::LeftButton); }
    void selectArea(int index) const { area()->setCurrentIndex(index); }

    // Open against a loopback adapter: the default address is never to be reached.
    void openAt(const QString& address) const {
        setText("ipAddress", address);
        click("open");
    }

    // The rows of the list as "address|decimal|hex|chars".
    QStringList rows() const {
        QStringList out;
        const QAbstractItemModel* m = list()->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < m->columnCount(); ++c) cells << m->index(r, c).data().toString();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
};

// A text of panel_cases.h as the widgets hold it.
inline QString qtext(const std::string& utf8) { return QString::fromStdString(utf8); }

// An in-process adapter on a loopback address, port 102.
inline std::unique_ptr<orvasim::Server> startSimulator(const char* address) {
    try {
        return orvasim::Server::startedOn(address);
    } catch (const std::exception& e) {
        qFatal("%s", e.what());
    }
}

}  // namespace panel_test
