#pragma once

#include "venueprotocol.h"

#include <QVector>

// What waking this machine over the network takes: each interface that is up, not the loopback,
// with a MAC address and an IPv4 broadcast address. For the station's status ("network").
QVector<NetworkAddress> localNetworkAddresses();
