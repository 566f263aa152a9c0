// The panel's one window: connection fields, area and range, the two read
// buttons, the result list and the status line.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "dialog_fields.h"
#include "plc_link.h"
#include "read_rows.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;

namespace orvapanel {

class ReadTableModel;

inline constexpr int noHandle = -1;
inline constexpr int openTimeoutMs = 10000;  // receive, send and connect alike

class DemoDialog : public QDialog {
    Q_OBJECT
public:
    // Every message to the user goes through one of these; tests record them.
    using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;

    explicit DemoDialog(PlcLink& link = orvanetLink(), QWidget* parent = nullptr);
    ~DemoDialog() override;  // closes an open handle

    void setMessageHandler(MessageHandler handler);

    int handle() const { return handleValue; }
    int lastResult() const { return lastResultValue; }
    char areaLetter() const { return fields.areaLetter; }
    const ReadTableModel& resultModel() const { return *model; }

public slots:
    void showAbout();

protected:
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#else
    void contextMenuEvent(QContextMenuEvent* event) override;
#endif

private:
    void createControls();
    void placeControls();
    void setTabOrderOfTemplate();
    void setUpList();
    void addAboutEntry();
    void loadFields();
    bool saveFields();
    void applyAreaRule();
    QLineEdit* editOf(Field field) const;
    void showMessage(const QString& text);
    void showStatus();
    void read(Unit unit);

    void onAreaChanged();
    void onOpen();
    void onClose();
    void onEnd();

    PlcLink& link;
    MessageHandler messageHandler;
    DialogFields fields;
    int handleValue = noHandle;
    int lastResultValue = 0;
    std::string addressLabelText;
    std::array<std::uint8_t, maxCount> byteBuffer{};
    std::array<std::uint16_t, maxCount> wordBuffer{};

    // Owned by the dialog as their Qt parent.
    QLineEdit* ipAddressEdit = nullptr;
    QLineEdit* ownTsapEdit = nullptr;
    QLineEdit* plcTsapEdit = nullptr;
    QComboBox* areaBox = nullptr;
    QLineEdit* dbNumberEdit = nullptr;
    QLineEdit* startEdit = nullptr;
    QLineEdit* countEdit = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* closeButton = nullptr;
    QPushButton* readBytesButton = nullptr;
    QPushButton* readWordsButton = nullptr;
    QTableView* list = nullptr;
    ReadTableModel* model = nullptr;
    QLabel* logo = nullptr;
    QLineEdit* statusLine = nullptr;
    QPushButton* endButton = nullptr;
    QLabel* ipLabel = nullptr;
    QLabel* ownTsapLabel = nullptr;
    QLabel* plcTsapLabel = nullptr;
    QLabel* areaLabel = nullptr;
    QLabel* dbNumberLabel = nullptr;
    QLabel* startLabel = nullptr;
    QLabel* countLabel = nullptr;
    QLabel* statusLabel = nullptr;
    QMenu* aboutMenu = nullptr;
};

// The title of every message box: the program's file name without extension.
QString programTitle();

// "Inf&o über orvapanel... / Inf&o about orvapanel... ", with its trailing blank.
QString aboutEntryText();

}  // namespace orvapanel
