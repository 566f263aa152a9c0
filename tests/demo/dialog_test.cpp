// SPDX-License-Identifier: Apache-2.0
// The panel's window: start state, placement, tab order, input validation,
// the area rule, Open and Close, the end of the dialog, the about box and the
// real message box. Against the real library and an adapter simulator on
// 127.0.0.31.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include "about_dialog.h"
#include "loopback_addresses.h"
#include "orvanet.h"
#include "panel_harness.h"

using namespace panel_test;
using orvapanel::DemoDialog;

namespace {

const char* const adapterAddress = orvatest::address::panelDialogSim;
const QString positiveMessage = qtext(says::positiveNumber);
const QString countRangeMessage = qtext(says::countRange);

bool activate(QWidget* window) {
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// Runs check on the next modal window once it is up (polled, as it opens inside a nested loop).
void whenModalAppears(std::function<void(QWidget*)> check, QWidget* before = nullptr) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, check, before] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == before) return;
        timer->stop();
        timer->deleteLater();
        check(modal);
    });
    timer->start();
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<orvasim::Server> adapter;

    enum class Ending { endButton, enterKey, escapeKey, closeBox };

    static void end(Panel& p, Ending how) {
        switch (how) {
        case Ending::endButton: p.click("end"); break;
        case Ending::enterKey:
            p.edit("start")->setFocus();
            QTest::keyClick(p.edit("start"), Qt::Key_Return);
            break;
        case Ending::escapeKey: QTest::keyClick(p.edit("count"), Qt::Key_Escape); break;
        case Ending::closeBox: p.dialog->close(); break;
        }
    }

    // The controls that follow the handle: Close and the word button with one, Open and the
    // connection's edits without. (The byte button follows the area as well.)
    static void expectHandleControls(const Panel& p, bool open) {
        QCOMPARE(p.button("open")->isEnabled(), !open);
        QCOMPARE(p.button("close")->isEnabled(), open);
        QCOMPARE(p.button("readWords")->isEnabled(), open);
        for (const char* edit : {"ipAddress", "ownTsap", "plcTsap"}) QCOMPARE(p.edit(edit)->isEnabled(), !open);
    }

private slots:
    void initTestCase() { adapter = startSimulator(adapterAddress); }
    void cleanupTestCase() { adapter.reset(); }
    void init() {
        adapter->clearFaults();
        adapter->clearRecord();
    }

    void startState() {
        Panel p;
        QCOMPARE(p.dialog->windowTitle(), QStringLiteral("ORVA-NET-DEMO"));
        QCOMPARE(p.edit("ipAddress")->text(), QStringLiteral("192.168.0.99"));
        QCOMPARE(p.edit("ownTsap")->text(), QString());
        QCOMPARE(p.edit("plcTsap")->text(), QString());
        QCOMPARE(p.edit("dbNumber")->text(), QStringLiteral("1"));
        QCOMPARE(p.edit("start")->text(), QStringLiteral("0"));
        QCOMPARE(p.edit("count")->text(), QStringLiteral("1"));
        QCOMPARE(p.status(), QString());
        QVERIFY(p.edit("status")->isReadOnly());

        QStringList items;
        for (int i = 0; i < p.area()->count(); ++i) items << p.area()->itemText(i);
        QCOMPARE(items, (QStringList{"Eingang / Input", "Ausgang / Output", "Merker / Flags", "DB / DB", "DX / DX",
                                     "Timer", QStringLiteral("Zähler / Counter")}));
        QCOMPARE(p.area()->currentIndex(), 0);
        QCOMPARE(p.dialog->areaLetter(), 'E');
        QCOMPARE(p.dialog->handle(), orvapanel::noHandle);

        QVERIFY(p.edit("ipAddress")->isEnabled());
        QVERIFY(p.edit("ownTsap")->isEnabled());
        QVERIFY(p.edit("plcTsap")->isEnabled());
        QVERIFY(!p.edit("dbNumber")->isEnabled());
        QVERIFY(p.edit("start")->isEnabled());
        QVERIFY(p.edit("count")->isEnabled());
        QVERIFY(p.button("open")->isEnabled());
        QVERIFY(!p.button("close")->isEnabled());
        QVERIFY(!p.button("readBytes")->isEnabled());
        QVERIFY(!p.button("readWords")->isEnabled());
        QVERIFY(p.button("end")->isEnabled());
        QVERIFY(p.button("end")->isDefault());

        QCOMPARE(p.button("open")->text(), QStringLiteral("ORVA&Open (...)"));
        QCOMPARE(p.button("close")->text(), QStringLiteral("ORVA&Close (...)"));
        QCOMPARE(p.button("readBytes")->text(), QStringLiteral("ORVARd&B (...)"));
        QCOMPARE(p.button("readWords")->text(), QStringLiteral("ORVARd&W (...)"));
        QCOMPARE(p.button("end")->text(), QStringLiteral("Ende / End"));
        QCOMPARE(p.dialog->findChild<QLabel*>("areaLabel")->text(), QStringLiteral("Datenbereich:\ndata area:"));
        QCOMPARE(p.dialog->findChild<QLabel*>("plcTsapLabel")->text(), QStringLiteral("SPS TSAP / PLC's TSAP"));

        const Qt::WindowFlags flags = p.dialog->windowFlags();
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!p.dialog->windowIcon().isNull());

        // Result list: four headings with their alignments, nothing in it.
        const QAbstractItemModel* m = p.list()->model();
        QCOMPARE(m->rowCount(), 0);
        QCOMPARE(m->columnCount(), 4);
        const QStringList headings{"Adr /Addr", "Wert/Value(dec.)", "Wert/Value(hex)", "ASCII"};
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), headings[c]);
            const auto align = Qt::Alignment(m->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt());
            QCOMPARE(align & Qt::AlignHorizontal_Mask, c == 0 ? Qt::AlignLeft : Qt::AlignRight);
        }
        QVERIFY(p.list()->showGrid());
        QCOMPARE(p.list()->selectionBehavior(), QAbstractItemView::SelectRows);
        const QFontMetrics header(p.list()->horizontalHeader()->font());
        for (int c = 1; c < 4; ++c) {
            const int text = header.horizontalAdvance(headings[c]);
            QVERIFY2(p.list()->columnWidth(c) >= text && p.list()->columnWidth(c) < text + 40,
                     qPrintable(headings[c] + " " + QString::number(p.list()->columnWidth(c))));
        }

        QVERIFY(activate(p.dialog.get()));
        QCOMPARE(QApplication::focusWidget(), p.button("end"));
        QVERIFY(p.link.opens.empty());
    }

    // Every control inside the window, none overlapping another, every label's text fitting its place.
    void templateArrangement() {
        Panel p;
        const QRect window = p.dialog->rect();
        const QList<QWidget*> controls = p.dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QList<QWidget*> placed;
        for (QWidget* w : controls) {
            if (w->isWindow()) continue;
            if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && label->objectName() == "logo") continue;
            placed << w;
            QVERIFY2(window.contains(w->geometry()), qPrintable(w->objectName()));
        }
        QCOMPARE(placed.size(), 22);  // the template's 15 controls less the logo, and 8 labels
        for (int i = 0; i < placed.size(); ++i) {
            for (int j = i + 1; j < placed.size(); ++j) {
                QVERIFY2(!placed[i]->geometry().intersects(placed[j]->geometry()),
                         qPrintable(placed[i]->objectName() + " overlaps " + placed[j]->objectName()));
            }
        }
        for (QLabel* label : p.dialog->findChildren<QLabel*>()) {
            if (label->objectName() == "logo") continue;
            const QSize needed = label->fontMetrics().size(0, label->text());
            QVERIFY2(needed.width() <= label->width(), qPrintable(label->objectName()));
            QVERIFY2(needed.height() <= label->height(), qPrintable(label->objectName()));
        }
        // The arrangement of the template: open above close above the byte and word buttons, list under the
        // area fields, status line at the bottom.
        auto top = [&](const char* n) { return p.dialog->findChild<QWidget*>(n)->geometry().top(); };
        QVERIFY(top("open") < top("close"));
        QVERIFY(top("close") < top("readBytes"));
        QVERIFY(top("readBytes") < top("readWords"));
        QVERIFY(top("count") < top("list"));
        QVERIFY(top("list") < top("end"));
        QVERIFY(top("end") < top("status"));
        QCOMPARE(top("start"), top("count"));
    }

    void logoFromWorkingDirectory() {
        {
            Panel p;  // the test runs where oem.bmp lies
            const QLabel* logo = p.dialog->findChild<QLabel*>("logo");
            QVERIFY(!logo->pixmap().isNull());
            QCOMPARE(logo->size(), logo->pixmap().size());
        }
        const QString here = QDir::currentPath();
        QTemporaryDir empty;
        QVERIFY(QDir::setCurrent(empty.path()));
        Panel p;
        QDir::setCurrent(here);
        QVERIFY(p.dialog->findChild<QLabel*>("logo")->pixmap().isNull());
        QVERIFY(p.messages.isEmpty());  // a missing logo is not reported
    }

    // Without one in the working directory, the installed copy relative to the program.
    void logoFallsBackToTheInstalledCopy() {
        const QString shareDir = QCoreApplication::applicationDirPath() + "/../share/orvanet";
        const QString installed = shareDir + "/oem.bmp";
        QVERIFY(!QFile::exists(installed));
        QVERIFY(QDir().mkpath(shareDir));
        QImage marker(3, 2, QImage::Format_RGB32);
        marker.fill(Qt::red);
        QVERIFY(marker.save(installed, "BMP"));
        const QString here = QDir::currentPath();
        QTemporaryDir empty;
        QVERIFY(QDir::setCurrent(empty.path()));
        QSize fromInstalled;
        {
            Panel p;
            fromInstalled = p.dialog->findChild<QLabel*>("logo")->pixmap().size();
        }
        QDir::setCurrent(here);
        QSize fromWorkingDirectory;
        {
            Panel p;  // where oem.bmp lies: that one wins
            fromWorkingDirectory = p.dialog->findChild<QLabel*>("logo")->pixmap().size();
        }
        QFile::remove(installed);
        QDir().rmpath(shareDir);
        QCOMPARE(fromInstalled, QSize(3, 2));
        QCOMPARE(fromWorkingDirectory, QImage(QStringLiteral("oem.bmp")).size());
        QVERIFY(fromWorkingDirectory != QSize(3, 2));
    }

    void tabOrderOfTemplate() {
        Panel p;
        QVERIFY(activate(p.dialog.get()));
        // Disabled controls are skipped; the rest follow the template's order.
        const QStringList expected{"ipAddress", "open", "status",  "area",    "start",
                                   "count",     "list", "ownTsap", "plcTsap", "end"};
        QStringList walked;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(walked, expected);
    }

    void mnemonicOpensAndCloses() {
        Panel p;
        QVERIFY(activate(p.dialog.get()));
        p.setText("ipAddress", adapterAddress);
        // A mnemonic presses its button visibly, so the click follows shortly.
        QTest::keyClick(p.dialog.get(), Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(p.link.opens.size(), std::size_t{1});
        QVERIFY(p.dialog->handle() >= 0);
        QTest::keyClick(p.dialog.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(p.link.closes.size(), std::size_t{1});
        QCOMPARE(p.dialog->handle(), orvapanel::noHandle);
    }

    void countValidation_data() {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("message");  // empty: accepted
        QTest::newRow("zero") << "0" << countRangeMessage;
        QTest::newRow("2049") << "2049" << countRangeMessage;
        QTest::newRow("minus") << "-5" << positiveMessage;
        QTest::newRow("letters") << "12ab" << positiveMessage;
        QTest::newRow("empty") << "" << positiveMessage;
        QTest::newRow("plus zero") << "+0" << positiveMessage;
        QTest::newRow("blanks around 12") << " 12 " << QString();
        QTest::newRow("2048") << "2048" << QString();
    }
    void countValidation() {
        QFETCH(QString, count);
        QFETCH(QString, message);
        Panel p;
        QVERIFY(activate(p.dialog.get()));
        p.setText("ipAddress", adapterAddress);
        p.setText("count", count);
        p.click("open");
        if (message.isEmpty()) {
            QVERIFY(p.messages.isEmpty());
            QCOMPARE(p.link.opens.size(), std::size_t{1});
            return;
        }
        QCOMPARE(p.messages, QStringList{message});
        QVERIFY(p.link.opens.empty());
        QCOMPARE(QApplication::focusWidget(), p.edit("count"));
        QCOMPARE(p.edit("count")->selectedText(), count);
    }

    void otherFieldsValidated() {
        Panel p;
        p.setText("dbNumber", "0");  // checked although its edit is disabled
        p.click("open");
        QCOMPARE(p.messages, QStringList{qtext(says::dbNumberRange)});
        p.messages.clear();
        p.setText("dbNumber", "255");
        p.setText("start", "65536");
        p.click("open");
        QCOMPARE(p.messages, QStringList{qtext(says::startRange)});
        QVERIFY(p.link.opens.empty());
    }

    void onlyTheFirstBadFieldIsReported() {
        Panel p;
        p.setText("count", "0");
        p.setText("dbNumber", "0");
        p.click("open");
        QCOMPARE(p.messages, QStringList{countRangeMessage});
    }

    void tsapLimitedToEightCharacters() {
        Panel p;
        QVERIFY(activate(p.dialog.get()));
        QTest::keyClicks(p.edit("ownTsap"), "ABCDEFGHI");
        QCOMPARE(p.edit("ownTsap")->text(), QStringLiteral("ABCDEFGH"));
        QTest::keyClicks(p.edit("plcTsap"), "123456789");
        QCOMPARE(p.edit("plcTsap")->text(), QStringLiteral("12345678"));

        // Set by other means than typing, a longer one reaches the edit and is refused.
        p.setText("plcTsap", "TOOLONG12");
        QCOMPARE(p.edit("plcTsap")->text(), QStringLiteral("TOOLONG12"));
        p.click("open");
        QCOMPARE(p.messages, QStringList{qtext(says::tsapTooLong)});
        QCOMPARE(QApplication::focusWidget(), p.edit("plcTsap"));
        QCOMPARE(p.edit("plcTsap")->selectedText(), QStringLiteral("TOOLONG12"));
        QVERIFY(p.link.opens.empty());
    }

    void openPassesFieldsAndTimeouts() {
        Panel p;
        p.setText("ipAddress", adapterAddress);
        p.click("open");
        QCOMPARE(p.link.opens.size(), std::size_t{1});
        const OpenCall& call = p.link.opens[0];
        QCOMPARE(call.ipAddress, std::string(adapterAddress));
        QCOMPARE(call.ownTsap, std::string());  // empty, not null
        QCOMPARE(call.plcTsap, std::string());
        QCOMPARE(call.receiveTimeoutMs, 10000);
        QCOMPARE(call.sendTimeoutMs, 10000);
        QCOMPARE(call.connectTimeoutMs, 10000);
        p.click("close");

        p.setText("ownTsap", "OWN-1");
        p.setText("plcTsap", "PLC-2");
        p.click("open");
        QCOMPARE(p.link.opens[1].ownTsap, std::string("OWN-1"));
        QCOMPARE(p.link.opens[1].plcTsap, std::string("PLC-2"));

        // The TSAPs reach the adapter in its connection request.
        QTest::mouseClick(p.button("readWords"), Qt::LeftButton);
        const auto requests = adapter->connectRequests();
        QCOMPARE(requests.size(), std::size_t{1});
        const std::string cr(requests[0].begin(), requests[0].end());
        QVERIFY(cr.find("OWN-1") != std::string::npos);
        QVERIFY(cr.find("PLC-2") != std::string::npos);
    }

    void areaRule_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<char>("letter");
        QTest::addColumn<bool>("readBytes");
        QTest::addColumn<bool>("dbNumber");
        QTest::newRow("Ausgang") << 1 << 'A' << true << false;
        QTest::newRow("Merker") << 2 << 'M' << true << false;
        QTest::newRow("DB") << 3 << 'D' << false << true;
        QTest::newRow("DX") << 4 << 'X' << false << true;
        QTest::newRow("Timer") << 5 << 'T' << false << false;
        QTest::newRow("Zaehler") << 6 << 'Z' << false << false;
    }
    void areaRule() {
        QFETCH(int, index);
        QFETCH(char, letter);
        QFETCH(bool, readBytes);
        QFETCH(bool, dbNumber);
        Panel p;
        p.selectArea(index);
        QCOMPARE(p.dialog->areaLetter(), letter);
        QCOMPARE(p.button("readBytes")->isEnabled(), readBytes);
        QCOMPARE(p.edit("dbNumber")->isEnabled(), dbNumber);
        QVERIFY(!p.button("readWords")->isEnabled());  // the rule never touches it
        p.selectArea(0);
        QCOMPARE(p.dialog->areaLetter(), 'E');
        QVERIFY(p.button("readBytes")->isEnabled());
        QVERIFY(!p.edit("dbNumber")->isEnabled());
    }

    void readBytesWithoutHandleDoesNothing() {
        Panel p;
        p.selectArea(2);  // Merker enables the byte button with no handle open
        QVERIFY(p.button("readBytes")->isEnabled());
        p.setText("count", "0");  // not even the exchange runs
        p.click("readBytes");
        QVERIFY(p.link.reads.empty());
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(p.status(), QString());
    }

    void badCountBlocksAreaChange() {
        Panel p;
        p.setText("count", "x");
        p.selectArea(3);
        QCOMPARE(p.messages, QStringList{positiveMessage});
        QCOMPARE(p.dialog->areaLetter(), 'E');
        QVERIFY(!p.edit("dbNumber")->isEnabled());
        QVERIFY(!p.button("readBytes")->isEnabled());
    }

    void openAndClose() {
        Panel p;
        p.openAt(adapterAddress);
        QVERIFY(p.dialog->handle() >= 0);
        QCOMPARE(p.dialog->lastResult(), ORVA_OK);
        expectHandleControls(p, true);
        QVERIFY(p.button("readBytes")->isEnabled());  // whatever the area
        QCOMPARE(p.status(), QString());              // a successful open says nothing
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(adapter->connectionsAccepted(), 0);  // and sends nothing

        const int handle = p.dialog->handle();
        p.click("close");
        QCOMPARE(p.link.closes, std::vector<int>{handle});
        QCOMPARE(p.dialog->handle(), orvapanel::noHandle);
        QCOMPARE(p.status(), qtext(says::success));
        QVERIFY(p.messages.isEmpty());
        expectHandleControls(p, false);
        QVERIFY(!p.button("readBytes")->isEnabled());
        QCOMPARE(ORVAClose(handle), ORVA_ERR_HANDLE);  // really closed
    }

    void openWithDataBlockEnablesReadBytesUntilNextExchange() {
        Panel p;
        p.selectArea(3);
        QVERIFY(!p.button("readBytes")->isEnabled());
        p.openAt(adapterAddress);
        QVERIFY(p.button("readBytes")->isEnabled());
        p.selectArea(4);  // an exchange: the rule applies again
        QVERIFY(!p.button("readBytes")->isEnabled());
        QVERIFY(p.button("readWords")->isEnabled());
    }

    void failedOpenStaysWithoutHandle() {
        // Take every handle the library has, so that Open gets -2.
        std::vector<int> taken;
        for (int h; (h = ORVAOpen(orvatest::address::panelDialogSim, "", "", 0, 0, 0)) >= 0;) taken.push_back(h);
        QCOMPARE(int(taken.size()), int(ORVA_MAX_HANDLES));
        Panel p;
        p.openAt(adapterAddress);
        for (int h : taken) ORVAClose(h);

        const QString text = qtext(says::noFreeHandle);
        QCOMPARE(p.dialog->handle(), ORVA_ERR_NO_FREE_HANDLE);
        QCOMPARE(p.dialog->lastResult(), ORVA_ERR_NO_FREE_HANDLE);
        QCOMPARE(p.status(), text);
        QCOMPARE(p.messages, QStringList{text});
        expectHandleControls(p, false);

        // A negative handle is none: the next Open works and destruction closes nothing extra.
        p.click("open");
        QVERIFY(p.dialog->handle() >= 0);
        QCOMPARE(p.dialog->lastResult(), ORVA_OK);
        QCOMPARE(p.status(), text);  // a successful Open leaves the line as it was
        QCOMPARE(p.messages, QStringList{text});
        expectHandleControls(p, true);
        QVERIFY(p.button("readBytes")->isEnabled());
        const int handle = p.dialog->handle();
        p.dialog.reset();
        QCOMPARE(p.link.closes, std::vector<int>{handle});
    }

    // ORVAClose fails only for a handle that is not open: closed here behind the panel's back. The
    // failure is shown, and the panel is without a handle all the same.
    void failedCloseIsShownAndEndsTheHandle() {
        Panel p;
        p.openAt(adapterAddress);
        const int handle = p.dialog->handle();
        QVERIFY(handle >= 0);
        QCOMPARE(ORVAClose(handle), ORVA_OK);
        p.click("close");
        const QString text = qtext(says::handleGone);
        QCOMPARE(p.link.closes, std::vector<int>{handle});
        QCOMPARE(p.dialog->lastResult(), ORVA_ERR_HANDLE);
        QCOMPARE(p.status(), text);
        QCOMPARE(p.messages, QStringList{text});
        QCOMPARE(p.dialog->handle(), orvapanel::noHandle);
        expectHandleControls(p, false);
        QVERIFY(!p.button("readBytes")->isEnabled());
        // No handle is left: the byte button, which the flags enable, reads nothing.
        p.selectArea(flags);
        p.click("readBytes");
        QVERIFY(p.link.reads.empty());
        QCOMPARE(p.messages, QStringList{text});

        // The next Open keeps that text; the window closes only the new handle, once.
        p.click("open");
        const int next = p.dialog->handle();
        QVERIFY(next >= 0);
        QCOMPARE(p.dialog->lastResult(), ORVA_OK);
        QCOMPARE(p.status(), text);
        QCOMPARE(p.messages, QStringList{text});
        expectHandleControls(p, true);
        QVERIFY(p.button("readBytes")->isEnabled());
        p.dialog.reset();
        QCOMPARE(p.link.closes, (std::vector<int>{handle, next}));
    }

    // End, and Enter (which presses it, the default button), take the fields first and end the dialog only
    // when they pass; Escape and the close box end it as it stands. The handle goes with the window, not
    // with the dialog's end.
    void endings_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("validates");
        QTest::addColumn<int>("result");
        QTest::newRow("End") << int(Ending::endButton) << true << int(QDialog::Accepted);
        QTest::newRow("Enter") << int(Ending::enterKey) << true << int(QDialog::Accepted);
        QTest::newRow("Escape") << int(Ending::escapeKey) << false << int(QDialog::Rejected);
        QTest::newRow("close box") << int(Ending::closeBox) << false << int(QDialog::Rejected);
    }
    void endings() {
        QFETCH(int, how);
        QFETCH(bool, validates);
        QFETCH(int, result);
        Panel p;
        QVERIFY(activate(p.dialog.get()));
        p.openAt(adapterAddress);
        const int handle = p.dialog->handle();
        p.setText("count", "0");
        end(p, Ending(how));
        if (validates) {
            QCOMPARE(p.messages, QStringList{countRangeMessage});
            QVERIFY(p.dialog->isVisible());
            p.messages.clear();
            p.setText("count", "4");
            end(p, Ending(how));
        }
        QVERIFY(!p.dialog->isVisible());
        QCOMPARE(p.dialog->result(), result);
        QVERIFY(p.messages.isEmpty());
        QVERIFY(p.link.closes.empty());
        p.dialog.reset();
        QCOMPARE(p.link.closes, std::vector<int>{handle});
    }

    void destroyingWindowResetsTheConnection() {
        Panel p;
        p.openAt(adapterAddress);
        p.click("readWords");  // connects
        QCOMPARE(p.dialog->lastResult(), ORVA_OK);
        QCOMPARE(adapter->openConnections(), 1);
        const int handle = p.dialog->handle();
        p.dialog.reset();
        QCOMPARE(p.link.closes, std::vector<int>{handle});
        QVERIFY(adapter->waitForEnds(1, 5000));
        QCOMPARE(adapter->connectionEnds(), std::vector<orvasim::ConnectionEnd>{orvasim::ConnectionEnd::reset});
        QCOMPARE(ORVAGetSockErr(handle), ORVA_ERR_HANDLE);
    }

    void aboutFromContextMenu() {
        Panel p;
        QVERIFY(activate(p.dialog.get()));
        QString entry, caption, text;
        bool iconShown = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr);
            QCOMPARE(menu->actions().size(), 1);
            entry = menu->actions().first()->text();
            whenModalAppears(
                [&](QWidget* about) {
                    caption = about->windowTitle();
                    text = about->findChild<QLabel*>("text")->text();
                    iconShown = !about->findChild<QLabel*>("icon")->pixmap().isNull();
                    QTest::mouseClick(about->findChild<QPushButton*>("ok"), Qt::LeftButton);
                },
                p.dialog.get());
            QTest::keyClick(menu, Qt::Key_O);  // the entry's mnemonic
        });
        // A right click on the window's background.
        const QPoint background(5, p.dialog->height() / 2);
        QVERIFY(p.dialog->childAt(background) == nullptr);
        QContextMenuEvent event(QContextMenuEvent::Mouse, background, p.dialog->mapToGlobal(background));
        QApplication::sendEvent(p.dialog.get(), &event);

        QCOMPARE(entry, QStringLiteral("Inf&o über orvapanel... / Inf&o about orvapanel... "));
        QCOMPARE(caption, QStringLiteral("Info über orvapanel"));
        QCOMPARE(text, QStringLiteral("ORVA-NET-Demo Version 1.0"));
        QVERIFY(iconShown);
        QVERIFY(p.dialog->isVisible());
    }

    void realMessageBox() {
        RecordingLink link;
        DemoDialog dialog(link);  // with the message box of the program, not a recorder
        QVERIFY(activate(&dialog));
        dialog.findChild<QLineEdit*>("count")->setText("0");
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenModalAppears(
            [&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box != nullptr);
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            },
            &dialog);
        QTest::mouseClick(dialog.findChild<QPushButton*>("open"), Qt::LeftButton);
        QCOMPARE(text, countRangeMessage);
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(title, QStringLiteral("demo_dialog_tests"));  // the program's file name
        QCOMPARE(title, orvapanel::programTitle());
        QVERIFY(link.opens.empty());
    }
};

QTEST_MAIN(DialogTest)
#include "dialog_test.moc"
