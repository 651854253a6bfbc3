#pragma once

#include <QDomDocument>
#include <QSharedPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QDialog;

struct LogonAnswer {
    bool shown = false; // the log-on dialog came up and was answered
    std::unique_ptr<QTimer> poll; // watches for the dialog while the answer lives
};

// Answers the next log-on dialog from inside its event loop, as long as the
// returned answer lives: rejects it when `name` is empty, otherwise types the
// credentials for real, runs `beforeLogOn` and presses Log On.
QSharedPointer<LogonAnswer> answerNextLogon(
    const QString& name, const QString& password, std::function<void(QDialog&)> beforeLogOn = {});

// `document` with the inactivity log-off after `minutes`; a null `minutes` leaves it as it is.
QDomDocument withInactivityTimeout(QDomDocument document, const QString& minutes);
