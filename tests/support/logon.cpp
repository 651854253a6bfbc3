#include "logon.h"

#include "rules/unitsettings.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

QSharedPointer<LogonAnswer> answerNextLogon(
    const QString& name, const QString& password, std::function<void(QDialog&)> beforeLogOn)
{
    auto answer = QSharedPointer<LogonAnswer>::create();
    answer->poll = std::make_unique<QTimer>();
    const QWeakPointer<LogonAnswer> weak = answer;
    QObject::connect(answer->poll.get(), &QTimer::timeout, [=] {
        const QSharedPointer<LogonAnswer> alive = weak.toStrongRef();
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!alive || !dialog || dialog->objectName() != QLatin1String("LoginDialog"))
            return;
        alive->poll->stop();
        alive->shown = true;
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("userNamelineEdit"))->setText(name);
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("passwordlineEdit")), password);
        if (beforeLogOn)
            beforeLogOn(*dialog);
        dialog->findChild<QPushButton*>(QStringLiteral("logonButton"))->click();
    });
    answer->poll->start(10);
    return answer;
}

QDomDocument withInactivityTimeout(QDomDocument document, const QString& minutes)
{
    if (!minutes.isNull())
        writeUnitSetting(document, UnitSetting::GuiInactivityMinutes, minutes);
    return document;
}
