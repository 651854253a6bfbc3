#pragma once

#include "connections/newconnection.h"

#include <QDialog>
#include <QString>

class OsdContext;
class QKeyEvent;

// Changes one existing connection; a new name follows it into every user's
// associations and automatic connection.
class EditConnection : public QDialog {
    Q_OBJECT

public:
    EditConnection(OsdContext& context, const QString& connectionName);
    ~EditConnection() override;

    // The name stored by the accepted dialog, for the list to select.
    QString connectionName() const;

public slots:
    void on_saveConnectionButton_clicked();
    void on_cancelConnectionButton_clicked();
    void on_comboBoxConnVia_currentIndexChanged(const QString& kind);
    void on_comboBoxConnType_currentIndexChanged(const QString& text);
    void on_checkBoxNLAEdit_stateChanged(int state);
    void on_checkBoxPreEmption_stateChanged(int state);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    ConnectionForm* form;
    QString originalName;
};
