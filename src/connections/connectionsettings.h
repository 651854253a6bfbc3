#pragma once

#include <QDialog>
#include <QString>

class OsdContext;
class QKeyEvent;
class QLabel;
class QLineEdit;

namespace Ui {
class ConnectionSettings;
}

// The unit-wide broker settings as the "Broker" group stores them.
struct BrokerSettings {
    QString conViaActiveDir;
    QString conViaBroker;
    QString vmResourse;
    QString webAccessAddr;
    QString conBrokerIp;
    QString domain;
    QString defaultBrokerIp;
    QString loadBalInfo;
};

// Edits how sessions reach a web access server or a connection broker.
class ConnectionSettings : public QDialog {
    Q_OBJECT

public:
    explicit ConnectionSettings(OsdContext& context);
    ~ConnectionSettings() override;

    BrokerSettings readBrokerSettings();
    // Stores the record in the document and the database files; false when the files could not be written.
    bool writeBrokerSettings(const BrokerSettings& settings);

public slots:
    void on_checkBoxConnActiveDir_clicked(bool checked);
    void on_checkBoxConViaBroker_clicked(bool checked);
    void on_radioButtonPool_clicked();
    void on_radioButtonPVD_clicked();
    void on_txApplyButton_clicked();
    void on_pushButtonNetBack_clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setField(QLineEdit* field, bool enabled);
    void setRadioButtonsEnabled(bool enabled);

    OsdContext& context;
    Ui::ConnectionSettings* ui;
    BrokerSettings settings;
};
