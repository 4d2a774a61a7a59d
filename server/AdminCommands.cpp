#include "server/AdminCommands.h"

#include "platform/Clock.h"
#include "server/Seed.h"
#include "server/Store.h"

#include <functional>
#include <map>

namespace {

bool ToInt(const QString& text, int& out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (ok) {
        out = v;
    }
    return ok;
}

bool ToBool(const QString& text, bool& out) {
    const QString t = text.toLower();
    if (t == QLatin1String("1") || t == QLatin1String("yes") || t == QLatin1String("on") ||
        t == QLatin1String("true")) {
        out = true;
        return true;
    }
    if (t == QLatin1String("0") || t == QLatin1String("no") || t == QLatin1String("off") ||
        t == QLatin1String("false")) {
        out = false;
        return true;
    }
    return false;
}

// One KEY=VALUE of set-room; false when the key is unknown or the value malformed.
bool SetRoomField(CStore& store, tagRoomRecord& r, const QString& key, const QString& value,
                  QTextStream& out) {
    using Setter = std::function<bool(const QString&)>;
    const std::map<QString, Setter> setters = {
        {QStringLiteral("name"),
         [&](const QString& v) {
             r.name = v;
             return !v.trimmed().isEmpty();
         }},
        {QStringLiteral("area"), [&](const QString& v) { return ToInt(v, r.area); }},
        {QStringLiteral("owner"),
         [&](const QString& v) {
             if (v.isEmpty() || v == QLatin1String("0")) {
                 r.owner = 0;
                 return true;
             }
             auto a = store.FindAccount(v);
             if (a) {
                 r.owner = a->number;
             }
             return a.has_value();
         }},
        {QStringLiteral("password"),
         [&](const QString& v) {
             r.password = v;
             return true;
         }},
        {QStringLiteral("max"),
         [&](const QString& v) { return ToInt(v, r.maxMembers) && r.maxMembers > 0; }},
        {QStringLiteral("topic"),
         [&](const QString& v) {
             r.topic = v;
             return true;
         }},
        {QStringLiteral("welcome"),
         [&](const QString& v) {
             r.welcome = v;
             return true;
         }},
        {QStringLiteral("mic-mode"),
         [&](const QString& v) { return ToInt(v, r.micMode) && r.micMode >= 0 && r.micMode <= 2; }},
        {QStringLiteral("mic-forced"), [&](const QString& v) { return ToBool(v, r.micForced); }},
        {QStringLiteral("mic-seconds"),
         [&](const QString& v) {
             return ToInt(v, r.micSeconds) && r.micSeconds >= 11 && r.micSeconds <= 3600;
         }},
        {QStringLiteral("public-text"), [&](const QString& v) { return ToBool(v, r.publicText); }},
        {QStringLiteral("dual-mic"), [&](const QString& v) { return ToBool(v, r.dualMic); }},
        {QStringLiteral("quality"),
         [&](const QString& v) { return ToInt(v, r.quality) && r.quality >= 1 && r.quality <= 3; }},
        {QStringLiteral("forbidden-nicknames"),
         [&](const QString& v) {
             r.forbiddenNicknames = v;
             return true;
         }},
        {QStringLiteral("forbidden-texts"),
         [&](const QString& v) {
             r.forbiddenTexts = v;
             return true;
         }},
        {QStringLiteral("disabled-hours"),
         [&](const QString& v) {
             int hours = 0;
             if (!ToInt(v, hours) || hours < 0) {
                 return false;
             }
             r.disabledUntil =
                 hours == 0 ? 0 : CClock::Get().Now() + static_cast<int64_t>(hours) * 3600;
             return true;
         }},
        {QStringLiteral("disabled-reason"),
         [&](const QString& v) {
             r.disabledReason = v;
             return true;
         }},
        {QStringLiteral("disabled-by"),
         [&](const QString& v) {
             r.disabledBy = v;
             return true;
         }},
        {QStringLiteral("server"),
         [&](const QString& v) { return ToInt(v, r.server) && r.server >= 1; }},
        {QStringLiteral("isp"),
         [&](const QString& v) {
             r.isp = v;
             return true;
         }},
    };
    auto it = setters.find(key);
    if (it == setters.end()) {
        out << "unknown room setting: " << key << "\n";
        return false;
    }
    if (!it->second(value)) {
        out << "bad value for " << key << ": " << value << "\n";
        return false;
    }
    return true;
}

int Fail(QTextStream& out, const QString& text) {
    out << text << "\n";
    return 1;
}

}  // namespace

QString AdminUsage() {
    return QStringLiteral(
        "admin commands:\n"
        "  init                                  create the database\n"
        "  seed                                  add the demo areas, rooms and accounts\n"
        "  add-account NAME PASSWORD [NICKNAME]  add an account\n"
        "  set-password NAME PASSWORD            change a password\n"
        "  add-area ID NAME [LIST]               add an area to area document LIST (1-4)\n"
        "  add-room NUMBER AREA NAME [OWNER]     add a room (NUMBER 0: the next free one)\n"
        "  set-room NUMBER KEY=VALUE...          name area owner password max topic welcome\n"
        "                                        mic-mode mic-forced mic-seconds public-text\n"
        "                                        dual-mic quality forbidden-nicknames\n"
        "                                        forbidden-texts disabled-hours disabled-reason\n"
        "                                        disabled-by server isp listed\n"
        "  set-rank ROOM ACCOUNT RANK            30 operator, 40/50 managers, 20 none\n"
        "  ban ROOM WHO HOURS [REASON]           ROOM 0 bans from every room\n"
        "  unban ROOM WHO\n"
        "  add-format ID NAME MEMBERS            a room format for room creation\n"
        "  list-rooms | list-accounts\n"
        "to a running service:\n"
        "  notice ROOM TEXT                      timed notice (ROOM 0: every room)\n"
        "  text-notice ROOM TEXT                 text notice\n"
        "  quit-client NAME                      tell a client to quit\n"
        "  send-to-room NAME ROOM                send a client to a room\n"
        "  shutdown                              tell every client to quit\n");
}

int RunAdminCommand(CStore& store, const QStringList& args, QTextStream& out) {
    if (args.isEmpty()) {
        out << AdminUsage();
        return 2;
    }
    const QString& command = args.front();
    const QStringList a = args.mid(1);
    auto need = [&](int n) { return a.size() >= n; };

    if (command == QLatin1String("init")) {
        return 0;  // opening the store created the tables
    }
    if (command == QLatin1String("seed")) {
        return SeedDemoData(store) ? 0
                                   : Fail(out, QStringLiteral("seeding failed (already seeded?)"));
    }
    if (command == QLatin1String("add-account") && need(2)) {
        const int number = store.AddAccount(a[0], a[1], a.value(2));
        if (number < 0) {
            return Fail(out, QStringLiteral("cannot add account %1").arg(a[0]));
        }
        out << number << "\n";
        return 0;
    }
    if (command == QLatin1String("set-password") && need(2)) {
        return store.SetPassword(a[0], a[1]) ? 0
                                             : Fail(out, QStringLiteral("no account %1").arg(a[0]));
    }
    if (command == QLatin1String("add-area") && need(2)) {
        tagArea area;
        if (!ToInt(a[0], area.id) || (a.size() > 2 && !ToInt(a[2], area.list)) || area.list < 1 ||
            area.list > 4) {
            return 2;
        }
        area.name = a[1];
        return store.AddArea(area) ? 0 : Fail(out, QStringLiteral("cannot add area %1").arg(a[0]));
    }
    if (command == QLatin1String("add-room") && need(3)) {
        tagRoomRecord room;
        if (!ToInt(a[0], room.number) || !ToInt(a[1], room.area)) {
            return 2;
        }
        room.name = a[2];
        if (a.size() > 3 && !SetRoomField(store, room, QStringLiteral("owner"), a[3], out)) {
            return 1;
        }
        const int number = store.AddRoom(room);
        if (number < 0) {
            return Fail(out, QStringLiteral("cannot add room %1").arg(a[0]));
        }
        out << number << "\n";
        return 0;
    }
    if (command == QLatin1String("set-room") && need(2)) {
        int number = 0;
        if (!ToInt(a[0], number)) {
            return 2;
        }
        auto room = store.Room(number);
        if (!room) {
            return Fail(out, QStringLiteral("no room %1").arg(number));
        }
        for (const QString& pair : a.mid(1)) {
            const int eq = pair.indexOf(QLatin1Char('='));
            if (eq <= 0 || !SetRoomField(store, *room, pair.left(eq), pair.mid(eq + 1), out)) {
                return 1;
            }
        }
        if (!store.UpdateRoom(*room)) {
            return Fail(out, store.LastError());
        }
        // A running service picks the settings up at once.
        store.Enqueue(QStringLiteral("reload"), number, QString());
        return 0;
    }
    if (command == QLatin1String("set-rank") && need(3)) {
        int room = 0;
        int rank = 0;
        auto account = store.FindAccount(a[1]);
        if (!ToInt(a[0], room) || !ToInt(a[2], rank) || !account || !store.Room(room)) {
            return Fail(out, QStringLiteral("no such room or account"));
        }
        return store.SetRank(room, account->number, rank) ? 0 : Fail(out, store.LastError());
    }
    if (command == QLatin1String("ban") && need(3)) {
        int room = 0;
        int hours = 0;
        if (!ToInt(a[0], room) || !ToInt(a[2], hours) || hours <= 0) {
            return 2;
        }
        tagBan ban{room, a[1], CClock::Get().Now() + static_cast<int64_t>(hours) * 3600, a.value(3),
                   QStringLiteral("admin")};
        return store.AddBan(ban) ? 0 : Fail(out, store.LastError());
    }
    if (command == QLatin1String("unban") && need(2)) {
        int room = 0;
        if (!ToInt(a[0], room)) {
            return 2;
        }
        return store.RemoveBan(room, a[1]) ? 0 : Fail(out, QStringLiteral("no such ban"));
    }
    if (command == QLatin1String("add-format") && need(3)) {
        tagRoomFormat format;
        if (!ToInt(a[0], format.id) || !ToInt(a[2], format.maxMembers)) {
            return 2;
        }
        format.name = a[1];
        return store.AddFormat(format)
                   ? 0
                   : Fail(out, QStringLiteral("cannot add format %1").arg(a[0]));
    }
    if (command == QLatin1String("list-rooms")) {
        for (const tagRoomRecord& r : store.Rooms()) {
            out << r.number << "\t" << r.area << "\t" << r.name << "\towner=" << r.owner
                << "\tmax=" << r.maxMembers << (r.password.isEmpty() ? "" : "\tlocked") << "\n";
        }
        return 0;
    }
    if (command == QLatin1String("list-accounts")) {
        for (const tagAccount& acc : store.Accounts()) {
            out << acc.number << "\t" << acc.name << "\t" << acc.nickname << "\n";
        }
        return 0;
    }
    if ((command == QLatin1String("notice") || command == QLatin1String("text-notice")) &&
        need(2)) {
        int room = 0;
        if (!ToInt(a[0], room) || room < 0) {
            return 2;
        }
        return store.Enqueue(command, room, a.mid(1).join(QLatin1Char(' ')))
                   ? 0
                   : Fail(out, store.LastError());
    }
    if (command == QLatin1String("quit-client") && need(1)) {
        return store.Enqueue(command, 0, QString(), a[0]) ? 0 : Fail(out, store.LastError());
    }
    if (command == QLatin1String("send-to-room") && need(2)) {
        int room = 0;
        if (!ToInt(a[1], room) || !store.Room(room)) {
            return Fail(out, QStringLiteral("no room %1").arg(a[1]));
        }
        return store.Enqueue(command, room, QString(), a[0]) ? 0 : Fail(out, store.LastError());
    }
    if (command == QLatin1String("shutdown")) {
        return store.Enqueue(command, 0, QString()) ? 0 : Fail(out, store.LastError());
    }
    out << AdminUsage();
    return 2;
}
