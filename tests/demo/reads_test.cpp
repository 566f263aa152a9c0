// SPDX-License-Identifier: Apache-2.0
// Reading into the list and reporting results: the rows of bytes and words of
// every area, the status texts of every result and their message boxes, and
// the picture of docs/orvapanel.md's walkthrough. Against the real library and an
// adapter simulator on 127.0.0.30 (the walkthrough's at its own address);
// nothing listens on 127.0.0.39.
#include <QElapsedTimer>
#include <QImage>
#include <QProcessEnvironment>
#include <QSaveFile>

#include "loopback_addresses.h"
#include "orvanet.h"
#include "panel_harness.h"
#include "read_rows.h"

using namespace panel_test;
using orva::wire::AreaCode;

namespace {

const char* const adapterAddress = orvatest::address::panelReadsSim;
const char* const refusingAddress = orvatest::address::panelNobody;  // no listener: connection refused
const QString success = qtext(says::success);

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
        for (const Stored& m : memoryForReads)
            adapter->writeBytes(orva::wire::areaCodeOf(m.letter), m.block, m.byteOffset, m.bytes);
    }
    void cleanupTestCase() { adapter.reset(); }
    void init() {
        adapter->clearFaults();
        adapter->clearRecord();
    }

    void rows_data() {
        QTest::addColumn<int>("index");  // in readsOfEveryArea
        for (std::size_t i = 0; i < readsOfEveryArea.size(); ++i)
            QTest::newRow(readsOfEveryArea[i].name) << static_cast<int>(i);
    }
    void rows() {
        QFETCH(int, index);
        const AreaRead& r = readsOfEveryArea[static_cast<std::size_t>(index)];
        auto p = openPanel(r.areaItem);
        read(*p, r.unit, r.db, r.start, r.count);
        QStringList expected;
        for (const std::string& row : r.rows) expected << qtext(row);
        QCOMPARE(p->rows(), expected);
        QCOMPARE(p->dialog->lastResult(), ORVA_OK);
        QCOMPARE(p->status(), success);
        QVERIFY(p->messages.isEmpty());

        QCOMPARE(p->link.reads.size(), std::size_t{1});
        const ReadCall& call = p->link.reads[0];
        QCOMPARE(call.unit, r.unit);
        QCOMPARE(call.areaLetter, int(r.letter));
        QCOMPARE(call.dbNumber, std::stoi(r.db));
        QCOMPARE(call.start, std::stoi(r.start));
        QCOMPARE(call.count, std::stoi(r.count));
        QCOMPARE(call.during.cursor, std::optional<Qt::CursorShape>(Qt::WaitCursor));
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
        QCOMPARE(p->messages, QStringList{qtext(says::countRange)});
        QCOMPARE(p->link.reads.size(), std::size_t{1});
        QCOMPARE(p->rows().size(), 2048);  // a refused input leaves the list
    }

    void status2PlcError() {
        auto p = openPanel();
        adapter->armReplyFault({orvasim::ReplyFaultKind::errorByte, 10});
        read(*p, 'B', "1", "0", "3");
        expectFailureShown(*p, ORVA_ERR_PLC, qtext(says::plcError));
    }

    void statusMinus1Dropped() {
        auto p = openPanel();
        read(*p, 'B', "1", "0", "3");
        QCOMPARE(p->rows().size(), 3);
        adapter->armReplyFault({orvasim::ReplyFaultKind::wrongDataLength, 1});
        read(*p, 'B', "1", "0", "3");  // the failed read empties the list
        expectFailureShown(*p, ORVA_ERR_DROPPED, qtext(says::timeout));
        QCOMPARE(p->link.socketErrorCalls, 0);
    }

    // A text longer than the line, shown from its first character, as a read-only edit on Windows does.
    void statusMinus6SetupFailedShowsFromItsFirstCharacter() {
        auto p = openPanel();
        adapter->armConfirmFault({orvasim::ConfirmFaultKind::disconnectInsteadOfConfirm});
        read(*p, 'W', "1", "0", "1");
        expectFailureShown(*p, ORVA_ERR_CONNECT, qtext(says::setupFailed));
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
        QCOMPARE(p->messages, QStringList{qtext(says::dbNumberRange)});
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
        expectFailureShown(*p, ORVA_ERR_SOCKET, qtext(says::socketError10061));
        QCOMPARE(p->link.socketErrorCalls, 1);
    }

    void statusMinus10ReadBytesOfDataBlock() {
        auto p = openPanel(dataBlock);  // Open enables the byte button whatever the area
        QVERIFY(p->button("readBytes")->isEnabled());
        read(*p, 'B', "1", "0", "1");
        expectFailureShown(*p, ORVA_ERR_AREA, qtext(says::areaNotSupported));
        QCOMPARE(p->link.reads[0].areaLetter, int('D'));
        QVERIFY(!p->button("readBytes")->isEnabled());  // the exchange put the area rule back
        QCOMPARE(adapter->connectionsAccepted(), 0);
    }

    void statusMinus99HandleGone() {
        auto p = openPanel();
        QCOMPARE(ORVAClose(p->dialog->handle()), ORVA_OK);  // behind the panel's back
        read(*p, 'W', "1", "0", "1");
        expectFailureShown(*p, ORVA_ERR_HANDLE, qtext(says::handleGone));
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

    // The picture docs/orvapanel.png: docs/orvapanel.md's walkthrough, read from an adapter at its address.
    // Kept in the build folder, and written to docs/ (ORVAPANEL_DOCS_PICTURE) when the panel now draws
    // otherwise than the picture there.
    void pictureOfTheWalkthrough() {
        namespace w = walkthrough;
        const auto walkthroughAdapter = startSimulator(w::address);
        walkthroughAdapter->writeBytes(AreaCode::dataBlock, w::block, 2 * w::start, w::bytes());
        Panel p;
        p.selectArea(w::areaItem);
        p.openAt(QString::fromLatin1(w::address));  // both TSAPs left empty
        read(p, 'W', QString::number(w::block), QString::number(w::start), QString::number(w::count));
        QStringList expected;
        for (const std::string& row : w::rows) expected << qtext(row);
        QCOMPARE(p.rows(), expected);
        QCOMPARE(p.status(), success);
        QCOMPARE(p.edit("ownTsap")->text(), QString());
        QCOMPARE(p.edit("plcTsap")->text(), QString());
        p.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.dialog.get()));
        const QImage shot = p.dialog->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), p.dialog->size());
        QVERIFY(shot.save(QStringLiteral("orvapanel.png")));

        const QString docs = QProcessEnvironment::systemEnvironment().value("ORVAPANEL_DOCS_PICTURE");
        if (docs.isEmpty()) return;
        auto drawnThere = [&docs] { return QImage(docs).convertToFormat(QImage::Format_RGB32); };
        if (drawnThere() != shot) {
            QSaveFile file(docs);  // whole or not at all
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(shot.save(&file, "PNG"));
            QVERIFY(file.commit());
            qInfo("%s: written, the panel draws otherwise now", qPrintable(docs));
        }
        QCOMPARE(drawnThere(), shot);
    }
};

QTEST_MAIN(ReadsTest)
#include "reads_test.moc"
