#pragma once
// The checks on the addresses an administrator types for a transmitter, with
// no widget in sight. Addresses are compared in their cleaned form.

#include <QString>

#include "rules/networkrules.h"

// Before a connect: not the receiver's own address, and four plain parts.
NetworkRefusal checkConnectAddress(const QString& typed, const QString& receiverAddress);

struct TxNetworkEntries {
    QString address;
    QString mask;
    QString gateway;
};

// Every check of a network apply, in order; the first failure is returned.
// `entries` comes back cleaned.
NetworkRefusal checkTxNetworkEntries(TxNetworkEntries& entries, const QString& receiverAddress);
