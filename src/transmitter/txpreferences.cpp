#include "txpreferences.h"
#include "ui_txsettings.h"

#include <QStandardItemModel>

#include "rules/txrecord.h"

namespace {

void setEntryEnabled(QComboBox* box, int index, bool enabled)
{
    if (auto* model = qobject_cast<QStandardItemModel*>(box->model()))
        if (QStandardItem* item = model->item(index))
            item->setEnabled(enabled);
}

bool entryEnabled(QComboBox* box, int index)
{
    auto* model = qobject_cast<QStandardItemModel*>(box->model());
    QStandardItem* item = model ? model->item(index) : nullptr;
    return !item || item->isEnabled();
}

} // namespace

TxPreferences::TxPreferences(Ui::TXSettings& ui)
    : ui(ui)
{
}

QComboBox* TxPreferences::edidBox(int head) const
{
    return head == 0 ? ui.comboBoxEdid_1 : ui.comboBoxEdid_2;
}

void TxPreferences::refillChoices()
{
    ui.comboBoxVGANoise->clear();
    ui.comboBoxVGANoise->addItems(videoOptimisationChoices());
    ui.comboBoxVGANoise->setCurrentIndex(0);
    ui.comboBoxHIDaudio->clear();
    ui.comboBoxHIDaudio->addItems(hidModeChoices());
    ui.comboBoxVideoQuality->clear();
    ui.comboBoxVideoQuality->addItems(videoQualityChoices());
    for (int head = 0; head < 2; ++head) {
        edidBox(head)->clear();
        edidBox(head)->addItems(standardEdidChoices());
    }
    ui.comboBoxEdid_1->removeItem(0);
}

bool TxPreferences::show(const ConfigData& record)
{
    refillChoices();
    const TxPreferencesView view = readTxPreferences(record);
    if (view.qualityIndex >= 0)
        ui.comboBoxVideoQuality->setCurrentIndex(view.qualityIndex);
    if (view.optimisationIndex >= 0) {
        ui.comboBoxVGANoise->setCurrentIndex(view.optimisationIndex);
    } else {
        for (int index = 1; index < ui.comboBoxVGANoise->count(); ++index)
            setEntryEnabled(ui.comboBoxVGANoise, index, false);
    }
    ui.comboBoxHIDaudio->setEnabled(view.hidEnabled);
    if (view.hidIndex >= 0)
        ui.comboBoxHIDaudio->setCurrentIndex(view.hidIndex);

    const bool twoHeads = view.heads == 2;
    ui.comboBoxEdid_2->setEnabled(twoHeads);
    ui.labelEdid_2->setEnabled(twoHeads);
    ui.comboBoxVGANoise->setEnabled(!twoHeads);
    if (twoHeads) {
        malvo_syslog(6, "TXSettings: Transmitter Preferences: TX has 2 heads.\n");
    } else {
        ui.comboBoxEdid_2->setCurrentIndex(0);
        ui.pushButtonCloneEdid1->setEnabled(false);
        malvo_syslog(6, "TXSettings: Transmitter Preferences: TX has 1 head.\n");
    }
    for (int head = 0; head < view.heads; ++head) {
        showHead(head, view.head[head]);
        const QString monitor = receiverMonitorName(head);
        malvo_syslog(6, "TXSettings: Transmitter Preferences: RX Head%d monitor name is %s.\n", head + 1,
            monitor.toLatin1().constData());
        (head == 0 ? ui.pushButtonCloneEdid0 : ui.pushButtonCloneEdid1)
            ->setEnabled(cloneWanted(view.head[head].cloneName, monitor));
    }
    return view.hidIndex >= 0;
}

void TxPreferences::writeTo(ConfigData* record) const
{
    record->tx_prefs.video_quality = ui.comboBoxVideoQuality->currentIndex() + 1;
    record->tx_prefs.video_optimisation = ui.comboBoxVGANoise->currentIndex() + 1;
    copyRecordText(record->tx_prefs.hid_mode, ui.comboBoxHIDaudio->currentText());
    for (int head = 0; head < 2; ++head) {
        QComboBox* box = edidBox(head);
        if (head == 1 && !box->isEnabled())
            break;
        // A long monitor name after "Clone_" is cut to the field, never written past it.
        copyRecordText(record->tx_prefs.edid_select[head], edidSelectText(box->currentText(), box->currentIndex()));
    }
}

HeadPreferences TxPreferences::headNow(int head) const
{
    HeadPreferences now;
    QComboBox* box = edidBox(head);
    for (int index = 0; index < box->count(); ++index)
        now.entries.append({ box->itemText(index), entryEnabled(box, index) });
    now.current = box->currentIndex();
    return now;
}

void TxPreferences::showHead(int head, const HeadPreferences& preferences)
{
    QComboBox* box = edidBox(head);
    box->clear();
    for (int index = 0; index < preferences.entries.size(); ++index) {
        box->addItem(preferences.entries.at(index).text);
        setEntryEnabled(box, index, preferences.entries.at(index).enabled);
    }
    box->setCurrentIndex(preferences.current);
}

void TxPreferences::cloned(int head)
{
    (head == 0 ? ui.pushButtonCloneEdid0 : ui.pushButtonCloneEdid1)->setEnabled(false);
    showHead(head, afterClone(headNow(head), receiverMonitorName(head)));
}
