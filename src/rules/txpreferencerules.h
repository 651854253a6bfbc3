#pragma once
// The transmitter's preferences page as rules: the fill rules of its choices,
// the texts a save sends and the EDID list after a clone.

#include <QString>
#include <QStringList>
#include <QVector>

#include "services/device_services.h"

QStringList videoOptimisationChoices();
QStringList hidModeChoices();
QStringList videoQualityChoices();
// The blank entry and the five standard timings.
QStringList standardEdidChoices();

struct EdidEntry {
    QString text;
    bool enabled = true;
};
using EdidList = QVector<EdidEntry>;

struct HeadPreferences {
    EdidList entries;   // the standard timings, then the cloned monitors
    int current = 0;
    QString cloneName;  // the monitor whose EDID the head uses now
};

struct TxPreferencesView {
    int qualityIndex = -1;      // -1: no valid quality read
    int optimisationIndex = -1; // -1: not available, only "Off" selectable
    QString hidMode;
    int hidIndex = -1;          // -1: a mode the list does not know
    bool hidEnabled = false;
    int heads = 1;
    HeadPreferences head[2];
};

// The page as the record describes it (heads beyond one are filled only when present).
TxPreferencesView readTxPreferences(const ConfigData& record);
// A head's clone button is of use only while the head's clone is another monitor.
bool cloneWanted(const QString& cloneName, const QString& monitorName);
// The text a save sends for an EDID list entry at `index`.
QString edidSelectText(const QString& entry, int index);
// The list after `monitor` was cloned onto the head; the clone becomes current.
HeadPreferences afterClone(const HeadPreferences& head, const QString& monitor);

// The receiver's own monitor name on a head; empty when it cannot be read.
QString receiverMonitorName(int head);
