#include "platform/LocalAddress.h"

#include "platform/Locked.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QNetworkInterface>
#include <QThreadPool>

#include <utility>

namespace {

struct tagLookup {
    bool started = false;
    bool done = false;
    QString address;  // the answer once done; empty when the name gave none
    QString chosen;   // the user's, before any answer
};

CLocked<tagLookup>& Lookup() {
    static CLocked<tagLookup> lookup;
    return lookup;
}

QString FirstRoutable(const QList<QHostAddress>& addresses) {
    for (const QHostAddress& a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) {
            return a.toString();
        }
    }
    return QString();
}

QString AdapterAddress() {
    const QString address = FirstRoutable(QNetworkInterface::allAddresses());
    return address.isEmpty() ? QStringLiteral("127.0.0.1") : address;
}

}  // namespace

void StartLocalAddressLookup() {
    const bool start = Lookup().With([](tagLookup& l) { return !std::exchange(l.started, true); });
    if (!start) {
        return;
    }
    QThreadPool::globalInstance()->start([] {
        const QString address =
            FirstRoutable(QHostInfo::fromName(QHostInfo::localHostName()).addresses());
        Lookup().With([&](tagLookup& l) {
            l.address = address;
            l.done = true;
        });
    });
}

QString LocalAddress() {
    StartLocalAddressLookup();
    const tagLookup lookup = Lookup().Snapshot();
    if (!lookup.chosen.isEmpty()) {
        return lookup.chosen;
    }
    if (lookup.done && !lookup.address.isEmpty()) {
        return lookup.address;
    }
    return AdapterAddress();
}

void SetLocalAddress(const QString& address) {
    Lookup().With([&](tagLookup& l) { l.chosen = address; });
}
