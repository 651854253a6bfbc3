#pragma once
// The page helper that applies the transmitter's preference rules to the
// dialog's widgets.

#include "rules/txpreferencerules.h"

class QComboBox;

namespace Ui {
class TXSettings;
}

class TxPreferences {
public:
    explicit TxPreferences(Ui::TXSettings& ui);

    void refillChoices();
    // Fills the page from a read record; false when its HID mode is unknown.
    bool show(const ConfigData& record);
    // What a save sends.
    void writeTo(ConfigData* record) const;
    // The head's list and clone button after a clone of the receiver's monitor.
    void cloned(int head);

private:
    QComboBox* edidBox(int head) const;
    HeadPreferences headNow(int head) const;
    void showHead(int head, const HeadPreferences& preferences);

    Ui::TXSettings& ui;
};
