// SPDX-License-Identifier: Apache-2.0
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
#include <QStyle>
#include <algorithm>

#include "about_dialog.h"
#include "area.h"
#include "read_rows.h"
#include "dialog_geometry.h"
#include "read_table_model.h"

#ifdef Q_OS_WIN
#  include <windows.h>
#endif

namespace orvapanel {
namespace {

#ifdef Q_OS_WIN
constexpr UINT_PTR aboutCommandId = 0x0010;
constexpr WPARAM systemCommandMask = 0xFFF0;  // the low four bits of a system command are the system's
#endif

// Refuses typed or pasted text beyond the limit but, like a limit on an edit
// control, not text that the program sets.
class LengthLimit : public QValidator {
public:
    LengthLimit(int maxChars, QObject* parent) : QValidator(parent), maxChars(maxChars) {}
    State validate(QString& input, int&) const override { return input.size() > maxChars ? Invalid : Acceptable; }

private:
    int maxChars;
};

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }
std::string utf8Of(const QLineEdit* edit) { return edit->text().toStdString(); }

void defaultMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, programTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

QString programTitle() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(); }

QString aboutEntryText() { return QStringLiteral("Inf&o über orvapanel... / Inf&o about orvapanel... "); }

DemoDialog::DemoDialog(PlcLink& link, QWidget* parent)
    : QDialog(parent), messageHandler(defaultMessage), panel(link, *this) {
    setWindowTitle(QStringLiteral("ORVA-NET-DEMO"));
    // A modal frame with a system menu and a close box, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    createControls();
    placeControls();
    setTabOrderOfTemplate();

    ownTsapEdit->setValidator(new LengthLimit(static_cast<int>(maxTsapChars), ownTsapEdit));
    plcTsapEdit->setValidator(new LengthLimit(static_cast<int>(maxTsapChars), plcTsapEdit));
    addAboutEntry();
    setWindowIcon(programIcon());
    areaBox->setCurrentIndex(0);
    panel.start();
    setUpList();
    showLogo();
    endButton->setFocus(Qt::OtherFocusReason);

    // Connected last: filling and selecting the area list above is not a user's change.
    connect(areaBox, &QComboBox::currentIndexChanged, this, [this] { panel.areaChanged(); });
    connect(openButton, &QPushButton::clicked, this, [this] { panel.open(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { panel.close(); });
    connect(readBytesButton, &QPushButton::clicked, this, [this] { panel.readBytes(); });
    connect(readWordsButton, &QPushButton::clicked, this, [this] { panel.readWords(); });
    connect(endButton, &QPushButton::clicked, this, [this] {
        if (panel.end()) accept();
    });
}

DemoDialog::~DemoDialog() { panel.windowDestroyed(); }

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
    QWidget* const order[] = {endButton,       ipAddressEdit, openButton,  closeButton,  readBytesButton,
                              readWordsButton, statusLine,    areaBox,     dbNumberEdit, startEdit,
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
    // Wide enough for the longest address in the font in use, with the
    // margins the cells draw their text in.
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    int width = 0;
    for (const std::string& text : longestAddressTexts()) {
        width = std::max(width, list->fontMetrics().horizontalAdvance(fromUtf8(text)) + 2 * margin);
    }
    header->resizeSection(ReadTableModel::addressColumn, width + 1);  // and the grid line
}

void DemoDialog::showLogo() {
#ifdef Q_OS_WIN
    constexpr bool windowsLayout = true;
#else
    constexpr bool windowsLayout = false;
#endif
    for (const std::string& path : logoPaths(QCoreApplication::applicationDirPath().toStdString(), windowsLayout)) {
        if (const QPixmap picture(fromUtf8(path)); !picture.isNull()) {
            logo->setPixmap(picture);
            logo->resize(picture.size());
            return;
        }
    }
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

QWidget* DemoDialog::widgetOf(Control control) const {
    switch (control) {
    case Control::ipAddress: return ipAddressEdit;
    case Control::ownTsap: return ownTsapEdit;
    case Control::plcTsap: return plcTsapEdit;
    case Control::dbNumber: return dbNumberEdit;
    case Control::open: return openButton;
    case Control::close: return closeButton;
    case Control::readBytes: return readBytesButton;
    case Control::readWords: return readWordsButton;
    }
    return openButton;
}

FieldTexts DemoDialog::fieldTexts() const {
    return {utf8Of(countEdit), utf8Of(dbNumberEdit), utf8Of(ipAddressEdit),
            utf8Of(startEdit), utf8Of(ownTsapEdit),  utf8Of(plcTsapEdit)};
}

void DemoDialog::setFieldTexts(const FieldTexts& texts) {
    countEdit->setText(fromUtf8(texts.count));
    dbNumberEdit->setText(fromUtf8(texts.dbNumber));
    ipAddressEdit->setText(fromUtf8(texts.ipAddress));
    startEdit->setText(fromUtf8(texts.start));
    ownTsapEdit->setText(fromUtf8(texts.ownTsap));
    plcTsapEdit->setText(fromUtf8(texts.plcTsap));
}

int DemoDialog::selectedAreaIndex() const { return areaBox->currentIndex(); }

void DemoDialog::setControlEnabled(Control control, bool enabled) { widgetOf(control)->setEnabled(enabled); }

void DemoDialog::showMessage(const std::string& text) { messageHandler(this, fromUtf8(text)); }

void DemoDialog::focusAndSelectAll(Field field) {
    QLineEdit* edit = editOf(field);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void DemoDialog::setStatus(const std::string& text) {
    statusLine->setText(fromUtf8(text));
    statusLine->setCursorPosition(0);  // a long text shows from its first character
}

void DemoDialog::beginListFill() {
    list->setUpdatesEnabled(false);
    model->clear();
}

void DemoDialog::showRows(const std::vector<RowTexts>& rows) { model->setRows(rows); }

void DemoDialog::endListFill() { list->setUpdatesEnabled(true); }

void DemoDialog::setWaitCursor(bool waiting) {
    if (waiting) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

}  // namespace orvapanel
