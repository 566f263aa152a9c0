// SPDX-License-Identifier: Apache-2.0
// Reading into the list and reporting results: the rows of bytes and words of
// every area, the status texts of every result and their message boxes, and a
// screenshot after a real read. Against the real library and an adapter
// simulator on 127.0.0.30; nothing listens on 127.0.0.39.
#include <QElapsedTimer>
#include <QImage>
#include <QProcessEnvironment>

#include "loopback_addresses.h"
#include "orvanet.h"
#include "panel_harness.h"
#include "read_rows.h"

using namespace panel_test;
using orva::wire::AreaCode;

namespace {

const char* const adapterAddress = orvatest::address::panelReadsSim;
const char* const refusingAddress = orvatest::address::panelNobody;  // no listener: connection refused
const QString success = QStringLiteral("Aktion erfolgreich. / Action was successfull!");

enum AreaItem { inputs, outputs, flags, dataBlock, extendedDataBlock, timers, counters };

}  // namespace

class ReadsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<orvasim::Server> adapter;

    // A panel with a handle open on the simulator.
    std::unique_ptr<Panel> openPanel(int areaItem = inputs, const char* address = adapterAddress) {
        auto p = std::make_unique<Panel>();
        p->selectArea(areaItem);
        p->openAt(QString::fromLatin1(address));
        if (p->dialog->handle() < 0) qFatal("Open failed");
        return p;
    }

    static void read(Panel& p, char unit, const QString& db, const QString& start, const QString& count) {
        p.setText("dbNumber", db);
        p.setText("start", start);
        p.setText("count", count);
        p.click(unit == 'B' ? "readBytes" : "readWords");
    }

    static void expectFailureShown(Panel& p, int code, const QString& text) {
        QCOMPARE(p.dialog->lastResult(), code);
        QCOMPARE(p.status(), text);
        QCOMPARE(p.messages, QStringList{text});  // and in a message box
        QVERIFY(p.rows().isEmpty());
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }

private slots:
    void initTestCase() {
        adapter = startSimulator(adapterAddress);
        adapter->writeBytes(AreaCode::inputs, 0, 0, {0x41, 0x20, 0x7F});
        adapter->writeBytes(AreaCode::flags, 0, 10, {0x41, 0x42, 0x00, 0x41});  // MW10 0x4142, MW12 0x0041
        adapter->writeWord(AreaCode::counters, 0, 3, 0xFFFF);
        adapter->writeWord(AreaCode::counters, 0, 4, 0x000A);
        adapter->writeWord(AreaCode::timers, 0, 7, 500);
        adapter->writeWord(AreaCode::dataBlock, 7, 0, 0x01F4);
        adapter->writeWord(AreaCode::dataBlock, 7, 1, 0x1234);
        adapter->writeWord(AreaCode::extendedDataBlock, 7, 0, 0x4142);
    }
    void cleanupTestCase() { adapter.reset(); }
    void init() {
        adapter->clearFaults();
        adapter->clearRecord();
    }

    void rows_data() {
        QTest::addColumn<int>("areaItem");
        QTest::addColumn<char>("unit");
        QTest::addColumn<QString>("db");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("count");
        QTest::addColumn<char>("letter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("input bytes") << int(inputs) << 'B' << "1"
                                     << "0"
                                     << "3" << 'E' << QStringList{"EB0|65|41|'A'", "EB1|32|20|' '", "EB2|127|7F|"};
        QTest::newRow("input words step 2") << int(inputs) << 'W' << "1"
                                            << "10"
                                            << "3" << 'E' << QStringList{"EW10|0|00|", "EW12|0|00|", "EW14|0|00|"};
        QTest::newRow("flag words") << int(flags) << 'W' << "1"
                                    << "10"
                                    << "2" << 'M' << QStringList{"MW10|16706|4142|'BA'", "MW12|65|41|"};
        QTest::newRow("output bytes") << int(outputs) << 'B' << "1"
                                      << "65535"
                                      << "1" << 'A' << QStringList{"AB65535|0|00|"};
        QTest::newRow("counter words") << int(counters) << 'W' << "1"
                                       << "3"
                                       << "2" << 'Z' << QStringList{"Z 3|65535|FFFF|", "Z 4|10|0A|"};
        QTest::newRow("timer words") << int(timers) << 'W' << "1"
                                     << "7"
                                     << "1" << 'T' << QStringList{"T 7|500|1F4|"};
        QTest::newRow("data block words") << int(dataBlock) << 'W' << "7"
                                          << "0"
                                          << "2" << 'D' << QStringList{"DB 7 DW0|500|1F4|", "DB 7 DW1|4660|1234|"};
        QTest::newRow("extended data block") << int(extendedDataBlock) << 'W' << "7"
                                             << "0"
                                             << "1" << 'X' << QStringList{"DX 7 DW0|16706|4142|'BA'"};
    }
    void rows() {
        QFETCH(int, areaItem);
        QFETCH(char, unit);
        QFETCH(QString, db);
        QFETCH(QString, start);
        QFETCH(QString, count);
        QFETCH(char, letter);
        QFETCH(QStringList, expected);
        auto p = openPanel(areaItem);
        read(*p, unit, db, start, count);
        QCOMPARE(p->rows(), expected);
        QCOMPARE(p->dialog->lastResult(), ORVA_OK);
        QCOMPARE(p->status(), success);
        QVERIFY(p->messages.isEmpty());

        QCOMPARE(p->link.reads.size(), std::size_t{1});
        const ReadCall& call = p->link.reads[0];
        QCOMPARE(call.unit, unit);
        QCOMPARE(call.areaLetter, int(letter));
        QCOMPARE(call.dbNumber, db.toInt());
        QCOMPARE(call.start, start.toInt());
        QCOMPARE(call.count, count.toInt());
        QCOMPARE(call.cursorDuringCall, std::optional<Qt::CursorShape>(Qt::WaitCursor));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QVERIFY(p->list()->updatesEnabled());
    }

    void fullList() {
        auto p = openPanel(flags);
        QElapsedTimer clock;
        clock.start();
        read(*p, 'W', "1", "0", "2048");
        const qint64 elapsed = clock.nsecsElapsed();
        const QStringList rows = p->rows();
        QCOMPARE(rows.size(), 2048);
        QCOMPARE(rows.first(), QStringLiteral("MW0|0|00|"));
        QCOMPARE(rows[5], QStringLiteral("MW10|16706|4142|'BA'"));
        QCOMPARE(rows.last(), QStringLiteral("MW4094|0|00|"));
        qInfo("2048 word rows: whole read, list filled, %.2f ms", double(elapsed) / 1e6);

        read(*p, 'B', "1", "0", "2049");  // refused before any call
        QCOMPARE(p->messages, QStringList{"Geben Sie bitte eine ganze Zahl zwischen 1 und 2048 ein."});
        QCOMPARE(p->link.reads.size(), std::size_t{1});
        QCOMPARE(p->rows().size(), 2048);  // a refused input leaves the list
    }

    void status2PlcError() {
        auto p = openPanel();
        adapter->armReplyFault({orvasim::ReplyFaultKind::errorByte, 10});
        read(*p, 'B', "1", "0", "3");
        expectFailureShown(*p, ORVA_ERR_PLC,
                           QStringLiteral("Datenbereich in der SPS zu klein. / Data area in PLC too small!"));
    }

    void statusMinus1Dropped() {
        auto p = openPanel();
        read(*p, 'B', "1", "0", "3");
        QCOMPARE(p->rows().size(), 3);
        adapter->armReplyFault({orvasim::ReplyFaultKind::wrongDataLength, 1});
        read(*p, 'B', "1", "0", "3");  // the failed read empties the list
        expectFailureShown(*p, ORVA_ERR_DROPPED, QStringLiteral("Zeitüberlauf! / Timeout!"));
        QCOMPARE(p->link.socketErrorCalls, 0);
    }

    void statusMinus6SetupFailed() {
        auto p = openPanel();
        adapter->armConfirmFault({orvasim::ConfirmFaultKind::disconnectInsteadOfConfirm});
        read(*p, 'W', "1", "0", "1");
        expectFailureShown(*p, ORVA_ERR_CONNECT,
                           QStringLiteral("Datenfehler auf Netzwerk, KELVAN hat zu wenig Daten erhalten! / "
                                          "Data error on network KELVAN didn't receive all data!"));
    }

    // A text longer than the line shows from its first character, as a read-only edit on Windows does.
    void longStatusShowsItsStart() {
        auto p = openPanel();
        adapter->armConfirmFault({orvasim::ConfirmFaultKind::disconnectInsteadOfConfirm});
        read(*p, 'W', "1", "0", "1");
        const QLineEdit* status = p->edit("status");
        QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) > status->width());
        QCOMPARE(status->cursorPosition(), 0);
        p->dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(p->dialog.get()));
        // The first character is drawn where the line's text starts.
        const QRect cursor = status->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        QVERIFY2(cursor.left() < status->fontMetrics().averageCharWidth() * 2,
                 qPrintable(QString::number(cursor.left())));
    }

    // The block number is one byte of the telegram: 256 and more are refused, not cut to their low 8 bits.
    void dataBlockBeyond255Refused() {
        adapter->writeWord(AreaCode::dataBlock, 5, 0, 0x0505);
        auto p = openPanel(dataBlock);
        read(*p, 'W', "261", "0", "1");
        QCOMPARE(p->messages, QStringList{"Geben Sie bitte eine ganze Zahl zwischen 1 und 255 ein."});
        QVERIFY(p->link.reads.empty());
        QCOMPARE(p->dialog->focusWidget(), static_cast<QWidget*>(p->edit("dbNumber")));
        QCOMPARE(p->edit("dbNumber")->selectedText(), QStringLiteral("261"));
        p->messages.clear();
        read(*p, 'W', "255", "0", "1");
        QVERIFY(p->messages.isEmpty());
        QCOMPARE(p->rows(), QStringList{"DB 255 DW0|0|00|"});
    }

    // The address column fits the longest address of any allowed read in the font in use.
    void addressColumnFitsTheLongestAddress() {
        auto p = openPanel(dataBlock);
        read(*p, 'W', "100", "0", "2041");
        QCOMPARE(p->rows().last(), QStringLiteral("DB 100 DW2040|0|00|"));
        QTableView* list = p->list();
        const int width = list->columnWidth(0);
        const int rowsNeed = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(0);
        QVERIFY2(rowsNeed <= width, qPrintable(QString::number(rowsNeed)));
        // The cell's margins, as the list measures a row, around the longest addresses there can be.
        const QFontMetrics metrics(list->font());
        const int margins = rowsNeed - metrics.horizontalAdvance(QStringLiteral("DB 100 DW2040"));
        for (const std::string& text : orvapanel::longestAddressTexts()) {
            const int needed = metrics.horizontalAdvance(QString::fromStdString(text)) + margins;
            QVERIFY2(needed <= width, qPrintable(QString::fromStdString(text) + " " + QString::number(needed)));
        }
        qInfo("address column: %d pixels", width);
    }

    void statusMinus7SocketError() {
        auto p = openPanel(inputs, refusingAddress);
        read(*p, 'W', "1", "0", "1");
        expectFailureShown(*p, ORVA_ERR_SOCKET,
                           QStringLiteral("Socketfehler Nr: 10061 aufgetreten. / Socket error no:10061 occurred!"));
        QCOMPARE(p->link.socketErrorCalls, 1);
    }

    void statusMinus10ReadBytesOfDataBlock() {
        auto p = openPanel(dataBlock);  // Open enables the byte button whatever the area
        QVERIFY(p->button("readBytes")->isEnabled());
        read(*p, 'B', "1", "0", "1");
        expectFailureShown(*p, ORVA_ERR_AREA,
                           QStringLiteral("Datentyp oder Format wird nicht unterstützt! / "
                                          "Data type or data format not supported!"));
        QCOMPARE(p->link.reads[0].areaLetter, int('D'));
        QVERIFY(!p->button("readBytes")->isEnabled());  // the exchange put the area rule back
        QCOMPARE(adapter->connectionsAccepted(), 0);
    }

    void statusMinus99HandleGone() {
        auto p = openPanel();
        QCOMPARE(ORVAClose(p->dialog->handle()), ORVA_OK);  // behind the panel's back
        read(*p, 'W', "1", "0", "1");
        expectFailureShown(*p, ORVA_ERR_HANDLE,
                           QStringLiteral("Unbekannter Fehler aufgetreten. / Unknown error occured! (-99)"));
    }

    void readsAfterFailureReconnect() {
        auto p = openPanel();
        adapter->armReplyFault({orvasim::ReplyFaultKind::resetBeforeReply});
        read(*p, 'B', "1", "0", "1");
        QVERIFY(p->dialog->lastResult() != ORVA_OK);
        p->messages.clear();
        read(*p, 'B', "1", "0", "1");
        QCOMPARE(p->rows(), QStringList{"EB0|65|41|'A'"});
        QCOMPARE(p->status(), success);
        QVERIFY(p->messages.isEmpty());
        QCOMPARE(adapter->connectionsAccepted(), 2);
    }

    // The picture of the panel that the documentation shows.
    void screenshotAfterRead() {
        adapter->writeBytes(AreaCode::dataBlock, 5, 0,
                            {0x00, 0x0A, 0x01, 0xF4, 0x12, 0x34, 0xFF, 0xFF, 'R',  'O',  'A', 'V',
                             'N',  '-',  'T',  'E',  0x00, 0x41, 0x80, 0x00, 0x00, 0x07, ' ', ' '});
        Panel p;
        p.selectArea(dataBlock);
        p.setText("ownTsap", "ORVAPNL");
        p.setText("plcTsap", "PLC-FW");
        p.openAt(adapterAddress);
        read(p, 'W', "5", "0", "12");
        QCOMPARE(p.rows().size(), 12);
        QCOMPARE(p.rows()[4], QStringLiteral("DB 5 DW4|21071|524F|'OR'"));  // low-order byte first
        p.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.dialog.get()));
        const QImage shot = p.dialog->grab().toImage();
        const QString path = QProcessEnvironment::systemEnvironment().value("ORVAPANEL_SCREENSHOT",
                                                                            QStringLiteral("orvapanel-after-read.png"));
        QVERIFY(shot.save(path));
        QCOMPARE(QImage(path).size(), p.dialog->size());
    }
};

QTEST_MAIN(ReadsTest)
#include "reads_test.moc"
