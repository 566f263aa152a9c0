/* SPDX-License-Identifier: Apache-2.0 */
// What the dialog tests share: a link that records every library call on its
// way to the real library, a recorder for messages, and widget look-ups.
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
#include <string>
#include <vector>

#include "demo_dialog.h"
#include "plc_link.h"
#include "sim_server.h"

namespace panel_test {

struct OpenCall {
    std::string ipAddress, ownTsap, plcTsap;
    int receiveTimeoutMs, sendTimeoutMs, connectTimeoutMs;
    int result;
};

struct ReadCall {
    char unit;  // 'B' or 'W'
    int handle, areaLetter, dbNumber, start, count;
    std::optional<Qt::CursorShape> cursorDuringCall;  // the override cursor, if any
    int result;
};

class RecordingLink : public orvapanel::PlcLink {
public:
    std::vector<OpenCall> opens;
    std::vector<int> closes;
    std::vector<ReadCall> reads;
    int socketErrorCalls = 0;

    int open(const char* ip, const char* own, const char* plc, int rx, int tx, int connect) override {
        const int r = real.open(ip, own, plc, rx, tx, connect);
        opens.push_back({ip, own, plc, rx, tx, connect, r});
        return r;
    }
    int close(int handle) override {
        closes.push_back(handle);
        return real.close(handle);
    }
    int readBytes(int handle, int area, int db, int start, int count, unsigned char* buffer) override {
        ReadCall call{'B', handle, area, db, start, count, overrideShape(), 0};
        call.result = real.readBytes(handle, area, db, start, count, buffer);
        reads.push_back(call);
        return call.result;
    }
    int readWords(int handle, int area, int db, int start, int count, unsigned short* buffer) override {
        ReadCall call{'W', handle, area, db, start, count, overrideShape(), 0};
        call.result = real.readWords(handle, area, db, start, count, buffer);
        reads.push_back(call);
        return call.result;
    }
    int socketError(int handle) override {
        ++socketErrorCalls;
        return real.socketError(handle);
    }

private:
    static std::optional<Qt::CursorShape> overrideShape() {
        if (const QCursor* c = QGuiApplication::overrideCursor()) return c->shape();
        return std::nullopt;
    }
    orvapanel::OrvanetLink real;
};

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

// An in-process adapter on a loopback address, port 102.
inline std::unique_ptr<orvasim::Server> startSimulator(const char* address) {
    try {
        return orvasim::Server::startedOn(address);
    } catch (const std::exception& e) {
        qFatal("%s", e.what());
    }
}

}  // namespace panel_test
