#include "demo_dialog.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QValidator>
#include <span>

#include "about_dialog.h"
#include "area.h"
#include "dialog_geometry.h"
#include "orvanet.h"
#include "read_table_model.h"
#include "status_text.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace orvapanel {
namespace {

#ifdef Q_OS_WIN
constexpr UINT_PTR aboutCommandId = 0x0010;
constexpr WPARAM systemCommandMask = 0xFFF0;  // the low four bits of a system command are the system's
#endif
constexpr int addressColumnWidth = 80;          // pixels
const char* const logoFile = "oem.bmp";         // looked up in the working directory

// Refuses typed or pasted text beyond the limit but, like a limit on an edit
// control, not text that the program sets.
class LengthLimit : public QValidator {
public:
    LengthLimit(int maxChars, QObject* parent) : QValidator(parent), maxChars(maxChars) {}
    State validate(QString& input, int&) const override { return input.size() > maxChars ? Invalid : Acceptable; }

private:
    int maxChars;
};

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

class RedrawSuspended {
public:
    explicit RedrawSuspended(QWidget* widget) : widget(widget) { widget->setUpdatesEnabled(false); }
    ~RedrawSuspended() { widget->setUpdatesEnabled(true); }
    RedrawSuspended(const RedrawSuspended&) = delete;
    RedrawSuspended& operator=(const RedrawSuspended&) = delete;

private:
    QWidget* widget;
};

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }
std::string utf8Of(const QLineEdit* edit) { return edit->text().toStdString(); }

// The library takes 8-bit strings: one byte a character, as the TSAP limit counts.
QByteArray eightBit(const std::string& utf8) { return QString::fromStdString(utf8).toLatin1(); }

void defaultMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, programTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

QString programTitle() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(); }

QString aboutEntryText() { return QStringLiteral("Inf&o über orvapanel... / Inf&o about orvapanel... "); }

DemoDialog::DemoDialog(PlcLink& link, QWidget* parent)
    : QDialog(parent), link(link), messageHandler(defaultMessage) {
    setWindowTitle(QStringLiteral("ORVA-NET-DEMO"));
    // A modal frame with a system menu and a close box, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    createControls();
    placeControls();
    setTabOrderOfTemplate();

    loadFields();
    addAboutEntry();
    setWindowIcon(programIcon());
    areaBox->setCurrentIndex(0);
    closeButton->setEnabled(false);
    setUpList();
    if (const QPixmap picture(QString::fromLatin1(logoFile)); !picture.isNull()) {
        logo->setPixmap(picture);
        logo->resize(picture.size());
    }
    endButton->setFocus(Qt::OtherFocusReason);

    // Connected last: filling and selecting the area list above is not a user's change.
    connect(areaBox, &QComboBox::currentIndexChanged, this, &DemoDialog::onAreaChanged);
    connect(openButton, &QPushButton::clicked, this, &DemoDialog::onOpen);
    connect(closeButton, &QPushButton::clicked, this, &DemoDialog::onClose);
    connect(readBytesButton, &QPushButton::clicked, this, [this] { read(Unit::byte); });
    connect(readWordsButton, &QPushButton::clicked, this, [this] { read(Unit::word); });
    connect(endButton, &QPushButton::clicked, this, &DemoDialog::onEnd);
}

DemoDialog::~DemoDialog() {
    if (handleValue >= 0) {
        lastResultValue = link.close(handleValue);  // not shown: the window is going
        handleValue = noHandle;
    }
}

void DemoDialog::setMessageHandler(MessageHandler handler) { messageHandler = std::move(handler); }

void DemoDialog::createControls() {
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    auto label = [this](const char* name, const QString& text, Qt::Alignment alignment) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setAlignment(alignment | Qt::AlignTop);
        return l;
    };

    ipAddressEdit = edit("ipAddress");
    ownTsapEdit = edit("ownTsap");
    plcTsapEdit = edit("plcTsap");
    areaBox = new QComboBox(this);
    areaBox->setObjectName(QStringLiteral("area"));
    dbNumberEdit = edit("dbNumber");
    startEdit = edit("start");
    countEdit = edit("count");
    openButton = button("open", QStringLiteral("ORVA&Open (...)"));
    closeButton = button("close", QStringLiteral("ORVA&Close (...)"));
    readBytesButton = button("readBytes", QStringLiteral("ORVARd&B (...)"));
    readWordsButton = button("readWords", QStringLiteral("ORVARd&W (...)"));
    list = new QTableView(this);
    list->setObjectName(QStringLiteral("list"));
    logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    statusLine = edit("status");
    statusLine->setReadOnly(true);
    endButton = button("end", QStringLiteral("Ende / End"));
    endButton->setDefault(true);

    ipLabel = label("ipLabel", QStringLiteral("SPS-IP-Adresse / PLC-IP-Address:"), Qt::AlignRight);
    ownTsapLabel = label("ownTsapLabel", QStringLiteral("eigener TSAP / own TSAP:"), Qt::AlignRight);
    plcTsapLabel = label("plcTsapLabel", QStringLiteral("SPS TSAP / PLC's TSAP"), Qt::AlignRight);
    areaLabel = label("areaLabel", QStringLiteral("Datenbereich:\ndata area:"), Qt::AlignLeft);
    dbNumberLabel = label("dbNumberLabel", QStringLiteral("DBNr:\nDBNo:"), Qt::AlignLeft);
    startLabel = label("startLabel", QStringLiteral("Start ab:\nstart at:"), Qt::AlignLeft);
    countLabel = label("countLabel", QStringLiteral("Anzahl:\ncount:"), Qt::AlignLeft);
    statusLabel = label("statusLabel", QStringLiteral("Status:"), Qt::AlignLeft);

    for (std::string_view item : areaItems) {
        areaBox->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
    }
    areaBox->setMaxVisibleItems(static_cast<int>(areaItems.size()));
    dbNumberEdit->setEnabled(false);
    readBytesButton->setEnabled(false);
    readWordsButton->setEnabled(false);
}

void DemoDialog::placeControls() {
    namespace t = mainTemplate;
    const DialogUnits units = dialogUnitsOf(font());
    setFixedSize(units.horizontal(t::width), units.vertical(t::height));
    place(ipAddressEdit, units, t::ipAddress);
    place(ownTsapEdit, units, t::ownTsap);
    place(plcTsapEdit, units, t::plcTsap);
    place(dbNumberEdit, units, t::dbNumber);
    place(startEdit, units, t::start);
    place(countEdit, units, t::count);
    place(openButton, units, t::open);
    place(closeButton, units, t::close);
    place(readBytesButton, units, t::readBytes);
    place(readWordsButton, units, t::readWords);
    place(list, units, t::list);
    place(logo, units, t::logo);
    place(statusLine, units, t::status);
    place(endButton, units, t::end);
    placeLabel(ipLabel, units, t::ipLabel);
    placeLabel(ownTsapLabel, units, t::ownTsapLabel);
    placeLabel(plcTsapLabel, units, t::plcTsapLabel);
    placeLabel(areaLabel, units, t::areaLabel);
    placeLabel(dbNumberLabel, units, t::dbNumberLabel);
    placeLabel(startLabel, units, t::startLabel);
    placeLabel(countLabel, units, t::countLabel);
    placeLabel(statusLabel, units, t::statusLabel);
    // The template's height includes the dropped list; the closed box is as high as the toolkit draws it.
    const PixelRect box = units.toPixels(t::area);
    areaBox->setGeometry(box.x, box.y, box.width, areaBox->sizeHint().height());
}

void DemoDialog::setTabOrderOfTemplate() {
    QWidget* const order[] = {endButton,       ipAddressEdit, openButton, closeButton, readBytesButton,
                                    readWordsButton, statusLine,    areaBox,    dbNumberEdit, startEdit,
                                    countEdit,       list,          ownTsapEdit, plcTsapEdit};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void DemoDialog::setUpList() {
    model = new ReadTableModel(this);
    list->setModel(model);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
    list->setTabKeyNavigation(false);  // Tab leaves the list, as it leaves every other control
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    QHeaderView* header = list->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    for (int column = 0; column < model->columnCount(); ++column) {
        header->resizeSection(column, header->sectionSizeHint(column));  // as wide as the heading
    }
    header->resizeSection(ReadTableModel::addressColumn, addressColumnWidth);
}

void DemoDialog::addAboutEntry() {
    const QString text = aboutEntryText();
    if (text.isEmpty()) return;
#ifdef Q_OS_WIN
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        const std::wstring entry = text.toStdWString();
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, aboutCommandId, entry.c_str());
    }
#else
    // The window manager owns the title bar's menu; the entry lives in the
    // window's own context menu instead.
    aboutMenu = new QMenu(this);
    aboutMenu->setObjectName(QStringLiteral("aboutMenu"));
    aboutMenu->addAction(text, this, &DemoDialog::showAbout);
#endif
}

#ifdef Q_OS_WIN
bool DemoDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (eventType == "windows_generic_MSG") {
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_SYSCOMMAND && (msg->wParam & systemCommandMask) == aboutCommandId) {
            showAbout();
            *result = 0;
            return true;
        }
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#else
void DemoDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (aboutMenu != nullptr) aboutMenu->exec(event->globalPos());
}
#endif

void DemoDialog::showAbout() {
    AboutDialog about(this);
    about.exec();
}

void DemoDialog::loadFields() {
    const FieldTexts texts = fieldTexts(fields);
    countEdit->setText(fromUtf8(texts.count));
    dbNumberEdit->setText(fromUtf8(texts.dbNumber));
    ipAddressEdit->setText(fromUtf8(texts.ipAddress));
    startEdit->setText(fromUtf8(texts.start));
    ownTsapEdit->setText(fromUtf8(texts.ownTsap));
    plcTsapEdit->setText(fromUtf8(texts.plcTsap));
    ownTsapEdit->setValidator(new LengthLimit(static_cast<int>(maxTsapChars), ownTsapEdit));
    plcTsapEdit->setValidator(new LengthLimit(static_cast<int>(maxTsapChars), plcTsapEdit));
}

bool DemoDialog::saveFields() {
    const FieldTexts texts{utf8Of(countEdit), utf8Of(dbNumberEdit), utf8Of(ipAddressEdit),
                           utf8Of(startEdit), utf8Of(ownTsapEdit),  utf8Of(plcTsapEdit)};
    if (const auto failure = orvapanel::saveFields(texts, areaBox->currentIndex(), fields)) {
        showMessage(fromUtf8(failure->message));
        QLineEdit* edit = editOf(failure->field);
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
        return false;
    }
    applyAreaRule();
    return true;
}

void DemoDialog::applyAreaRule() {
    const AreaControls controls = areaControls(fields.areaLetter);
    readBytesButton->setEnabled(controls.readBytesEnabled);
    dbNumberEdit->setEnabled(controls.dbNumberEnabled);
}

QLineEdit* DemoDialog::editOf(Field field) const {
    switch (field) {
    case Field::count: return countEdit;
    case Field::dbNumber: return dbNumberEdit;
    case Field::ipAddress: return ipAddressEdit;
    case Field::start: return startEdit;
    case Field::ownTsap: return ownTsapEdit;
    case Field::plcTsap: return plcTsapEdit;
    case Field::area: break;
    }
    return countEdit;  // the area cannot fail
}

void DemoDialog::showMessage(const QString& text) { messageHandler(this, text); }

void DemoDialog::showStatus() {
    const int socketError = needsSocketError(lastResultValue) ? link.socketError(handleValue) : 0;
    const QString text = fromUtf8(statusText(lastResultValue, socketError));
    statusLine->setText(text);
    if (showsMessageBox(lastResultValue)) showMessage(text);
}

void DemoDialog::onAreaChanged() { saveFields(); }

void DemoDialog::onOpen() {
    if (!saveFields()) return;
    const QByteArray ip = eightBit(fields.ipAddress);
    const QByteArray own = eightBit(fields.ownTsap);
    const QByteArray plc = eightBit(fields.plcTsap);
    handleValue = link.open(ip.constData(), own.constData(), plc.constData(), openTimeoutMs, openTimeoutMs,
                            openTimeoutMs);
    if (handleValue < 0) {
        lastResultValue = handleValue;
        showStatus();
        return;
    }
    lastResultValue = ORVA_OK;
    openButton->setEnabled(false);
    closeButton->setEnabled(true);
    // Whatever the area: the next exchange puts the area rule back on it.
    readBytesButton->setEnabled(true);
    readWordsButton->setEnabled(true);
    ipAddressEdit->setEnabled(false);
    ownTsapEdit->setEnabled(false);
    plcTsapEdit->setEnabled(false);
}

void DemoDialog::onClose() {
    if (handleValue < 0) return;
    lastResultValue = link.close(handleValue);
    openButton->setEnabled(true);
    closeButton->setEnabled(false);
    readBytesButton->setEnabled(false);
    readWordsButton->setEnabled(false);
    ownTsapEdit->setEnabled(true);
    plcTsapEdit->setEnabled(true);
    ipAddressEdit->setEnabled(true);
    handleValue = noHandle;
    showStatus();
}

void DemoDialog::onEnd() {
    if (saveFields()) accept();
}

void DemoDialog::read(Unit unit) {
    // The area rule can enable the byte button with no handle open: then it does nothing.
    if (handleValue < 0) return;
    if (!saveFields()) return;
    {
        const WaitCursor wait;
        const RedrawSuspended suspended(list);
        model->clear();
        const int letter = static_cast<unsigned char>(fields.areaLetter);
        const auto db = static_cast<int>(fields.dbNumber);
        const auto start = static_cast<int>(fields.start);
        const auto count = static_cast<int>(fields.count);
        if (unit == Unit::byte) {
            lastResultValue = link.readBytes(handleValue, letter, db, start, count, byteBuffer.data());
        } else {
            lastResultValue = link.readWords(handleValue, letter, db, start, count, wordBuffer.data());
        }
        if (lastResultValue == ORVA_OK) {
            addressLabelText = addressLabel(fields.areaLetter, fields.dbNumber, unit);
            if (unit == Unit::byte) {
                model->setRows(byteRows(addressLabelText, fields.start, std::span(byteBuffer.data(), fields.count)));
            } else {
                model->setRows(wordRows(addressLabelText, fields.start, wordAddressStep(fields.areaLetter),
                                        std::span(wordBuffer.data(), fields.count)));
            }
        }
    }
    showStatus();
}

}  // namespace orvapanel
