#pragma once

#include "connections/connectionform.h"

#include <QDialog>
#include <QString>

class OsdContext;
class QKeyEvent;

// Creates one connection of any kind, adds it to the database and gives every
// administrator the use of it.
class NewConnection : public QDialog {
    Q_OBJECT

public:
    explicit NewConnection(OsdContext& context);
    ~NewConnection() override;

    // The name stored by the accepted dialog, for the list to select.
    QString connectionName() const;

public slots:
    void on_saveNewConnectionButton_clicked();
    void on_cancelNewConnectionButton_clicked();
    void on_comboBoxConnVia_currentIndexChanged(const QString& kind);
    void on_comboBoxConnType_currentIndexChanged(const QString& text);
    void on_checkBoxNLANew_stateChanged(int state);
    void on_checkBoxPreEmption_stateChanged(int state);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    ConnectionForm* form;
};
