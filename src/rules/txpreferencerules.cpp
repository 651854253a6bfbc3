#include "txpreferencerules.h"

#include "txrecord.h"

namespace {

constexpr int clonedEntry = 5; // "6. <monitor>"

// "EMPTY" is the dialog's own placeholder for a name the transmitter did not give.
QString nameField(const QString& text)
{
    const QString name = text.trimmed();
    return name == QLatin1String("EMPTY") ? QString() : name;
}

QString numbered(int number, const QString& name)
{
    return QString::number(number) + QStringLiteral(". ") + name;
}

QString afterFirstBlank(const QString& text)
{
    return text.mid(text.indexOf(QLatin1Char(' ')) + 1);
}

HeadPreferences readHead(const ConfigData& record, int head)
{
    HeadPreferences result;
    const QStringList standard = standardEdidChoices().mid(1);
    for (const QString& text : standard)
        result.entries.append({ text, true });
    result.cloneName = nameField(recordText(record.tx_prefs.edid_clone_name[head]));
    const QString previous = nameField(recordText(record.tx_prefs.edid_prev_name[head]));
    if (!result.cloneName.isEmpty())
        result.entries.append({ numbered(result.entries.size() + 1, result.cloneName), true });
    if (!previous.isEmpty() && previous != result.cloneName)
        result.entries.append({ numbered(result.entries.size() + 1, previous), false });

    const int index = record.tx_prefs.edid_index[head];
    // The cloned choice is the sixth entry, never a disabled earlier clone.
    if (index == 6 && result.entries.size() > clonedEntry && result.entries.at(clonedEntry).enabled)
        result.current = clonedEntry;
    else if (index >= 1 && index <= 5)
        result.current = index - 1;
    return result;
}

} // namespace

QStringList videoOptimisationChoices()
{
    return { QStringLiteral("Off"), QStringLiteral("DVI optimised"), QStringLiteral("VGA - high performance"),
        QStringLiteral("VGA - optimised"), QStringLiteral("VGA - low bandwidth") };
}

QStringList hidModeChoices()
{
    return { QStringLiteral("Default"), QStringLiteral("Basic"), QStringLiteral("MAC"), QStringLiteral("Absolute"),
        QStringLiteral("Absolute MAC") };
}

QStringList videoQualityChoices()
{
    return { QStringLiteral("1 Best Quality Video"), QStringLiteral("2"), QStringLiteral("3 Default"),
        QStringLiteral("4"), QStringLiteral("5 Best Compression") };
}

QStringList standardEdidChoices()
{
    return { QStringLiteral(" "), QStringLiteral("1. 1920x1080"), QStringLiteral("2. 1920x1200"),
        QStringLiteral("3. 1680x1050"), QStringLiteral("4. 1280x1024"), QStringLiteral("5. 1024x768") };
}

TxPreferencesView readTxPreferences(const ConfigData& record)
{
    TxPreferencesView view;
    const auto& prefs = record.tx_prefs;
    if (prefs.video_quality >= 1 && prefs.video_quality <= 5)
        view.qualityIndex = prefs.video_quality - 1;
    if (prefs.video_optimisation >= 1 && prefs.video_optimisation <= 5)
        view.optimisationIndex = prefs.video_optimisation - 1;
    else if (prefs.video_optimisation != 0)
        view.optimisationIndex = 0;
    view.hidMode = recordText(prefs.hid_mode);
    view.hidIndex = hidModeChoices().indexOf(view.hidMode);
    view.hidEnabled = prefs.hid_enabled != 0;
    view.heads = prefs.heads == 1 ? 1 : 2;
    for (int head = 0; head < view.heads; ++head)
        view.head[head] = readHead(record, head);
    return view;
}

bool cloneWanted(const QString& cloneName, const QString& monitorName)
{
    return !cloneName.contains(monitorName.trimmed());
}

QString edidSelectText(const QString& entry, int index)
{
    if (entry == QLatin1String(" "))
        return entry;
    const QString name = afterFirstBlank(entry);
    return index >= clonedEntry ? QStringLiteral("Clone_") + name : name;
}

HeadPreferences afterClone(const HeadPreferences& head, const QString& monitor)
{
    HeadPreferences result = head;
    const EdidEntry clone { numbered(clonedEntry + 1, monitor), true };
    if (result.entries.size() < clonedEntry + 1) {
        result.entries.append(clone);
    } else {
        const QString previous = afterFirstBlank(result.entries.at(clonedEntry).text);
        const bool grows = result.entries.size() == clonedEntry + 1 && previous != monitor;
        result.entries[clonedEntry] = clone;
        if (grows)
            result.entries.append({ numbered(clonedEntry + 2, previous), false });
    }
    // What the transmitter now uses is the new clone, not the earlier one after it.
    result.current = qMin(clonedEntry, result.entries.size() - 1);
    result.cloneName = monitor;
    return result;
}

QString receiverMonitorName(int head)
{
    char name[HAL_EDID_NAME_LEN] = {};
    hal_get_edid_name(head, name);
    return recordText(name);
}
