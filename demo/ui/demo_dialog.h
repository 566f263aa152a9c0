/* SPDX-License-Identifier: Apache-2.0 */
// The panel's one window: connection fields, area and range, the two read
// buttons, the result list and the status line.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "panel.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;

namespace orvapanel {

class ReadTableModel;

class DemoDialog : public QDialog, private PanelView {
    Q_OBJECT
public:
    // Every message to the user goes through one of these; tests record them.
    using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;

    explicit DemoDialog(PlcLink& link = orvanetLink(), QWidget* parent = nullptr);
    ~DemoDialog() override;  // closes an open handle

    void setMessageHandler(MessageHandler handler);

    int handle() const { return panel.handle(); }
    int lastResult() const { return panel.lastResult(); }
    char areaLetter() const { return panel.fields().areaLetter; }
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
    void showLogo();
    QLineEdit* editOf(Field field) const;
    QWidget* widgetOf(Control control) const;

    // PanelView
    FieldTexts fieldTexts() const override;
    void setFieldTexts(const FieldTexts& texts) override;
    int selectedAreaIndex() const override;
    void setControlEnabled(Control control, bool enabled) override;
    void showMessage(const std::string& text) override;
    void focusAndSelectAll(Field field) override;
    void setStatus(const std::string& text) override;
    void beginListFill() override;
    void showRows(const std::vector<RowTexts>& rows) override;
    void endListFill() override;
    void setWaitCursor(bool waiting) override;

    MessageHandler messageHandler;
    Panel panel;

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
