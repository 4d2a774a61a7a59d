#pragma once
// This machine's IPv4 address in dotted form, as the room login reports it: the first address
// the host name resolves to that is not a loopback one, else the first such address of an
// adapter, else "127.0.0.1".
//
// A name service may take seconds to answer, so the name is resolved on a worker thread and
// the GUI thread never waits for it: until the answer is in, the adapters' address stands in.

#include <QString>

// Starts resolving the host name, so the answer is ready before the first room login asks.
// Later calls do nothing.
void StartLocalAddressLookup();
// Never blocks.
QString LocalAddress();
// An address the user chose for this machine (the console client's, to give each of several
// clients on one machine an address of its own): it stands for the machine from then on.
// Empty goes back to looking.
void SetLocalAddress(const QString& address);
