// The connection list and the connect action, inside this process on the
// offscreen platform, each beside what bare Qt needs for the same result:
//   1. from a log-on accepted to the filled list of 32 connections,
//   2. one keystroke in the filter of a managed unit's 40-entry list,
//   3. one whole connect, from the Connect click to the launcher called and
//      the connected record written.

#include "benchdatabase.h"
#include "benchgui.h"

#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "connections/connectiontab.h"
#include "platform/platform.h"
#include "simunit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <memory>

namespace {

const QString wasConnectedPath = QStringLiteral("/tmp/WAS_CONNECTED");
const QString privateIcon = QStringLiteral(":/icons/icons/privateConn.png");
const QString sharedIcon = QStringLiteral(":/icons/icons/sharedConn.png");

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_connections: ") + why);
    return 1;
}

// The OSD as it stands after the automatic log-on of "admin": built, shown and settled.
struct Osd {
    explicit Osd(SimUnit& unit)
    {
        QFile::remove(unit.path(wasConnectedPath));
        window = std::make_unique<MainWindow>(unit.platform(), nullptr, &user);
        window->show();
        QCoreApplication::processEvents();
    }

    template <typename T> T* widget(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("bench_connections: the main window has no %s", name);
        return found;
    }
    QListWidget* list() const { return widget<QListWidget>("listWidgetVM"); }
    QStringList entries() const
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names << list()->item(i)->text();
        return names;
    }

    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};

// The texts the list shows for "admin" and the icon each gets, from the document.
struct Entries {
    QStringList names;
    QList<bool> shared;
};

Entries adminEntries(const QDomDocument& document)
{
    const QDomElement root = document.documentElement();
    QHash<QString, bool> sharedByName;
    for (QDomElement c = root.firstChildElement(QLatin1String(db::Connections))
                             .firstChildElement(QLatin1String(db::Connection));
         !c.isNull(); c = c.nextSiblingElement(QLatin1String(db::Connection)))
        sharedByName.insert(c.attribute(QLatin1String(db::Name)),
            c.attribute(QLatin1String(db::ConnectionType)) == QLatin1String("Shared"));
    Entries entries;
    const QDomElement admin
        = root.firstChildElement(QLatin1String(db::Users)).firstChildElement(QLatin1String(db::User));
    for (QDomElement a = admin.firstChildElement(QLatin1String(db::AssociatedConnections)); !a.isNull();
         a = a.nextSiblingElement(QLatin1String(db::AssociatedConnections))) {
        entries.names << a.attribute(QLatin1String(db::ConnectionName));
        entries.shared << sharedByName.value(entries.names.last());
    }
    return entries;
}

// The least bare Qt does for a list of these entries: a shown plain list, the
// two icons made once.
struct PlainList {
    explicit PlainList(const Entries& entries)
        : entries(entries)
        , icons { QIcon(privateIcon), QIcon(sharedIcon) }
    {
        list.resize(300, 400);
        list.show();
        QCoreApplication::processEvents();
    }

    void fill()
    {
        list.clear();
        for (int i = 0; i < entries.names.size(); ++i)
            list.addItem(new QListWidgetItem(icons[entries.shared.at(i) ? 1 : 0], entries.names.at(i)));
    }

    // The same, but each item's icon made from its file, as a fresh QIcon per entry.
    void fillLoadingIcons()
    {
        list.clear();
        for (int i = 0; i < entries.names.size(); ++i)
            list.addItem(new QListWidgetItem(
                QIcon(entries.shared.at(i) ? sharedIcon : privateIcon), entries.names.at(i)));
    }

    void filter(const QString& text)
    {
        for (int i = 0; i < list.count(); ++i) {
            QListWidgetItem* item = list.item(i);
            item->setHidden(!item->text().startsWith(text, Qt::CaseInsensitive));
        }
    }

    int visibleCount() const
    {
        int count = 0;
        for (int i = 0; i < list.count(); ++i)
            count += list.item(i)->isHidden() ? 0 : 1;
        return count;
    }

    Entries entries;
    QIcon icons[2];
    QListWidget list;
};

// Typed as a keyboard types it: press and release reach the field as events.
void typeCharacter(QLineEdit* field, Qt::Key key, const QString& character)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::ShiftModifier, character);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::ShiftModifier, character);
    QApplication::sendEvent(field, &press);
    QApplication::sendEvent(field, &release);
}

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

} // namespace

int main(int argc, char** argv)
{
    bench::prepareGuiProcess();
    QApplication application(argc, argv);
    const int runs = bench::runCount(application.arguments());

    const QString base = qEnvironmentVariable("VELMO_BENCH_DIR");
    QTemporaryDir folder(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_connections-XXXXXX")
                                        : base + QStringLiteral("/bench_connections-XXXXXX"));
    if (!folder.isValid())
        return fail(QStringLiteral("cannot create a temporary folder"));

    const QDomDocument maximum = bench::maximumDocument();
    const Entries maximumEntries = adminEntries(maximum);

    // --- 1. log-on accepted to the filled list, and 3. one connect ------------
    QVector<double> logonUs, fillUs, logonFloorUs, iconFloorUs, connectUs;
    double connectFloorUs = 0;
    QByteArray record;
    {
        SimUnit unit(folder.path() + QStringLiteral("/local"));
        if (!bench::installDatabase(unit, databaseText(maximum)))
            return fail(QStringLiteral("cannot install the database in ") + folder.path());

        {
            Osd osd(unit);
            if (osd.window->getLoggedInUser() != QLatin1String("admin") || osd.window->isManaged())
                return fail(QStringLiteral("the unit did not log admin on by itself, unmanaged"));
            bool faithful = true;
            // The whole completion of a log-on: privileges, list, buttons, the services told.
            bench::repeat(runs, [&](bool measured) {
                unit.clearRecords();
                bench::Timer timer;
                osd.window->completeLogon();
                const double elapsed = timer.elapsedUs();
                faithful &= osd.entries() == maximumEntries.names && !unit.commands().isEmpty();
                if (measured)
                    logonUs << elapsed;
            });
            // The list alone, as completing the log-on fills it.
            fillUs = bench::measureUs(runs, [&] { osd.window->connectionList().fillConnectionList(); });
            faithful &= osd.entries() == maximumEntries.names;

            PlainList plain(maximumEntries);
            logonFloorUs = bench::measureUs(runs, [&] { plain.fill(); });
            iconFloorUs = bench::measureUs(runs, [&] { plain.fillLoadingIcons(); });
            faithful &= plain.list.count() == maximumEntries.names.size();
            if (!faithful)
                return fail(QStringLiteral("the list of admin's 32 connections was not filled"));
        }

        // The main window closes on a connect, so every run gets a new one, built untimed.
        record = QByteArrayLiteral("admin\n") + maximumEntries.names.first().toUtf8() + '\n';
        bool faithful = true;
        bench::repeat(runs, [&](bool measured) {
            Osd osd(unit);
            osd.list()->setCurrentRow(0);
            unit.clearRecords();
            bench::Timer timer;
            osd.window->connectionList().on_btnConnect_Clicked();
            const double elapsed = timer.elapsedUs();
            QFile written(unit.path(wasConnectedPath));
            faithful &= unit.launches().size() == 1 && !osd.window->isVisible()
                && written.open(QIODevice::ReadOnly) && written.readAll() == record;
            if (measured)
                connectUs << elapsed;
        });
        if (!faithful)
            return fail(QStringLiteral("a connect did not call the launcher and write the record"));

        // The floor of the connect: the same bytes written durably, raw, in the same folder.
        const bench::ProcessRun floorRun = bench::runProcess(bench::floorProgram(),
            { QStringLiteral("io"), unit.path(QStringLiteral("/tmp")), QString::number(record.size()), QStringLiteral("--runs"),
                QString::number(runs) });
        const QMap<QString, QString> floor = bench::parseResultLine(floorRun.output, QStringLiteral("floor-io"));
        if (floor.isEmpty())
            return fail(QStringLiteral("the floor program failed: ")
                + QString::fromLocal8Bit(floorRun.errors + floorRun.output).trimmed());
        connectFloorUs = floor.value(QStringLiteral("write_us")).toDouble();
    }

    // --- 2. one filter keystroke on a managed unit ----------------------------
    constexpr int managedEntries = 40;
    QVector<double> filterUs, filterFloorUs, rebuildFloorUs;
    {
        SimUnit unit(folder.path() + QStringLiteral("/managed"));
        const QDomDocument managed = bench::managedDocument(unit.platform().eth0().hardwareAddress, managedEntries);
        const QByteArray managedText = databaseText(managed);
        if (!bench::installDatabase(unit, managedText) || !bench::installManagerCopy(unit, managedText))
            return fail(QStringLiteral("cannot install the managed database in ") + folder.path());
        const Entries entries = adminEntries(managed);

        Osd osd(unit);
        if (!osd.window->isManaged() || osd.entries() != entries.names || entries.names.size() != managedEntries)
            return fail(QStringLiteral("the managed unit did not list admin's 40 connections"));
        QLineEdit* field = osd.widget<QLineEdit>("lineEditFilterConnections");
        // Every name starts with "C": the keystroke keeps all 40, the most the list rebuilds.
        bool faithful = true;
        bench::repeat(runs, [&](bool measured) {
            bench::Timer timer;
            typeCharacter(field, Qt::Key_C, QStringLiteral("C"));
            const double elapsed = timer.elapsedUs();
            faithful &= field->text() == QLatin1String("C") && osd.list()->count() == managedEntries;
            field->clear();
            if (measured)
                filterUs << elapsed;
        });
        // And a keystroke that keeps none, to see that the filter was applied at all.
        typeCharacter(field, Qt::Key_Z, QStringLiteral("Z"));
        faithful &= osd.list()->count() == 0;
        field->clear();

        PlainList plain(entries);
        plain.fill();
        bench::repeat(runs, [&](bool measured) {
            bench::Timer timer;
            plain.filter(QStringLiteral("C"));
            const double elapsed = timer.elapsedUs();
            faithful &= plain.visibleCount() == managedEntries;
            plain.filter(QString());
            if (measured)
                filterFloorUs << elapsed;
        });
        rebuildFloorUs = bench::measureUs(runs, [&] { plain.fill(); });
        if (!faithful)
            return fail(QStringLiteral("the filter did not keep the 40 entries it should"));
    }

    const double logon = bench::median(logonUs);
    const double fill = bench::median(fillUs);
    const double logonFloor = bench::median(logonFloorUs);
    const double iconFloor = bench::median(iconFloorUs);
    const double filter = bench::median(filterUs);
    const double filterFloor = bench::median(filterFloorUs);
    const double rebuildFloor = bench::median(rebuildFloorUs);
    const double connect = bench::median(connectUs);

    bench::printLine(QStringLiteral("database: the largest (32 connections, 32 users x 32 associations, "
                                    "500 RX + 500 TX); %1 runs after %2 warm-up runs, offscreen")
                         .arg(runs)
                         .arg(bench::defaultWarmUps));
    bench::printComparison(
        QStringLiteral("1. log-on accepted to 32 listed, completeLogon (floor: fill a plain list, 32 texts+icons)"),
        logon, logonFloor);
    bench::printComparison(QStringLiteral("   of which the list alone, fillConnectionList"), fill, logonFloor);
    bench::printComparison(
        QStringLiteral("   against bare Qt making a QIcon from its file per item"), fill, iconFloor);
    bench::printComparison(
        QStringLiteral("2. one filter keystroke, managed unit, 40 entries kept (floor: hide by prefix over 40 items)"),
        filter, filterFloor);
    bench::printComparison(
        QStringLiteral("   against bare Qt rebuilding the 40 items"), filter, rebuildFloor);
    bench::printComparison(
        QStringLiteral("3. one connect, click to launcher called and record written (floor: write %1 bytes "
                       "durably)")
            .arg(record.size()),
        connect, connectFloorUs);
    bench::printLine(QStringLiteral("   peak RSS %1 KiB").arg(bench::peakRssKb()));
    bench::printLine(bench::resultLine(QStringLiteral("connections"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("logon_us"), number(logon) },
            { QStringLiteral("fill_us"), number(fill) },
            { QStringLiteral("logon_floor_us"), number(logonFloor) },
            { QStringLiteral("logon_icon_floor_us"), number(iconFloor) },
            { QStringLiteral("filter_us"), number(filter) },
            { QStringLiteral("filter_floor_us"), number(filterFloor) },
            { QStringLiteral("filter_rebuild_floor_us"), number(rebuildFloor) },
            { QStringLiteral("connect_us"), number(connect) },
            { QStringLiteral("connect_floor_us"), number(connectFloorUs) },
            { QStringLiteral("maxrss_kb"), QString::number(bench::peakRssKb()) } }));
    return 0;
}
