#pragma once
// The transmitter operations: work function, progress title and text, tick
// and result slot of each.

#include "services/device_services.h"

class TXSettings;

struct TxOperation {
    func_t function;
    const char* title;
    const char* text;
    int tickMs;
    void (TXSettings::*result)(int, void*);
};

namespace TxOperations {
extern const TxOperation connect;
extern const TxOperation information;
extern const TxOperation upgrade;
extern const TxOperation restore;
extern const TxOperation reboot;
extern const TxOperation networkApply;
extern const TxOperation discover;
extern const TxOperation readPreferences;
extern const TxOperation savePreferences;
extern const TxOperation cloneEdid;
extern const TxOperation diagnostics;
} // namespace TxOperations
