#include "server/AdminCommands.h"

#include "platform/Clock.h"
#include "server/AdminQueue.h"
#include "server/Seed.h"
#include "server/Store.h"

#include <climits>
#include <map>
#include <optional>

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

int Fail(QTextStream& out, const QString& text) {
    out << text << "\n";
    return 1;
}

// The settings of set-room: texts taken as they are, flags, and numbers within their bounds;
// the name, the owner and the disabled hours need more.
struct tagNumberSetting {
    int tagRoomRecord::*field;
    int least;
    int most;
};

const std::map<QString, QString tagRoomRecord::*>& TextSettings() {
    static const std::map<QString, QString tagRoomRecord::*> settings = {
        {QStringLiteral("password"), &tagRoomRecord::password},
        {QStringLiteral("topic"), &tagRoomRecord::topic},
        {QStringLiteral("welcome"), &tagRoomRecord::welcome},
        {QStringLiteral("forbidden-nicknames"), &tagRoomRecord::forbiddenNicknames},
        {QStringLiteral("forbidden-texts"), &tagRoomRecord::forbiddenTexts},
        {QStringLiteral("disabled-reason"), &tagRoomRecord::disabledReason},
        {QStringLiteral("disabled-by"), &tagRoomRecord::disabledBy},
        {QStringLiteral("isp"), &tagRoomRecord::isp},
    };
    return settings;
}

const std::map<QString, bool tagRoomRecord::*>& FlagSettings() {
    static const std::map<QString, bool tagRoomRecord::*> settings = {
        {QStringLiteral("mic-forced"), &tagRoomRecord::micForced},
        {QStringLiteral("public-text"), &tagRoomRecord::publicText},
        {QStringLiteral("dual-mic"), &tagRoomRecord::dualMic},
    };
    return settings;
}

const std::map<QString, tagNumberSetting>& NumberSettings() {
    static const std::map<QString, tagNumberSetting> settings = {
        {QStringLiteral("area"), {&tagRoomRecord::area, INT_MIN, INT_MAX}},
        {QStringLiteral("max"), {&tagRoomRecord::maxMembers, 1, INT_MAX}},
        {QStringLiteral("mic-mode"), {&tagRoomRecord::micMode, 0, 2}},
        {QStringLiteral("mic-seconds"), {&tagRoomRecord::micSeconds, 11, 3600}},
        {QStringLiteral("quality"), {&tagRoomRecord::quality, 1, 3}},
        {QStringLiteral("server"), {&tagRoomRecord::server, 1, INT_MAX}},
    };
    return settings;
}

// Sets one setting: nothing when there is no such setting, false when the value does not fit.
std::optional<bool> SetSetting(CStore& store, tagRoomRecord& r, const QString& key,
                               const QString& v) {
    if (auto it = TextSettings().find(key); it != TextSettings().end()) {
        r.*(it->second) = v;
        return true;
    }
    if (auto it = FlagSettings().find(key); it != FlagSettings().end()) {
        return ToBool(v, r.*(it->second));
    }
    if (auto it = NumberSettings().find(key); it != NumberSettings().end()) {
        int n = 0;
        if (!ToInt(v, n) || n < it->second.least || n > it->second.most) {
            return false;
        }
        r.*(it->second.field) = n;
        return true;
    }
    if (key == QLatin1String("name")) {
        r.name = v;
        return !v.trimmed().isEmpty();
    }
    if (key == QLatin1String("owner")) {
        if (v.isEmpty() || v == QLatin1String("0")) {
            r.owner = 0;
            return true;
        }
        auto account = store.FindAccount(v);
        if (account) {
            r.owner = account->number;
        }
        return account.has_value();
    }
    if (key == QLatin1String("disabled-hours")) {
        int hours = 0;
        if (!ToInt(v, hours) || hours < 0) {
            return false;
        }
        r.disabledUntil = hours == 0 ? 0 : CClock::Get().Now() + static_cast<int64_t>(hours) * 3600;
        return true;
    }
    return std::nullopt;
}

// One KEY=VALUE of set-room; false, said why, when the key is unknown or the value malformed.
bool SetRoomField(CStore& store, tagRoomRecord& r, const QString& key, const QString& value,
                  QTextStream& out) {
    const std::optional<bool> set = SetSetting(store, r, key, value);
    if (!set) {
        out << "unknown room setting: " << key << "\n";
        return false;
    }
    if (!*set) {
        out << "bad value for " << key << ": " << value << "\n";
        return false;
    }
    return true;
}

// The commands on the database. Each takes the words after its name; 0 done, 1 failed, 2 not
// understood.
int Init(CStore&, const QString&, const QStringList&, QTextStream&) {
    return 0;  // opening the store created the tables
}

int Seed(CStore& store, const QString&, const QStringList&, QTextStream& out) {
    return SeedDemoData(store) ? 0 : Fail(out, QStringLiteral("seeding failed (already seeded?)"));
}

int AddAccount(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
    const int number = store.AddAccount(a[0], a[1], a.value(2));
    if (number < 0) {
        return Fail(out, QStringLiteral("cannot add account %1").arg(a[0]));
    }
    out << number << "\n";
    return 0;
}

int SetPassword(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
    return store.SetPassword(a[0], a[1]) ? 0 : Fail(out, QStringLiteral("no account %1").arg(a[0]));
}

int AddArea(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
    tagArea area;
    if (!ToInt(a[0], area.id) || (a.size() > 2 && !ToInt(a[2], area.list)) || area.list < 1 ||
        area.list > 4) {
        return 2;
    }
    area.name = a[1];
    return store.AddArea(area) ? 0 : Fail(out, QStringLiteral("cannot add area %1").arg(a[0]));
}

int AddRoom(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
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

int SetRoom(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
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
    CAdminQueue(store).Enqueue(QStringLiteral("reload"), number, QString());
    return 0;
}

int SetRank(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
    int room = 0;
    int rank = 0;
    auto account = store.FindAccount(a[1]);
    if (!ToInt(a[0], room) || !ToInt(a[2], rank) || !account || !store.Room(room)) {
        return Fail(out, QStringLiteral("no such room or account"));
    }
    return store.SetRank(room, account->number, rank) ? 0 : Fail(out, store.LastError());
}

int Ban(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
    int room = 0;
    int hours = 0;
    if (!ToInt(a[0], room) || !ToInt(a[2], hours) || hours <= 0) {
        return 2;
    }
    tagBan ban{room, a[1], CClock::Get().Now() + static_cast<int64_t>(hours) * 3600, a.value(3),
               QStringLiteral("admin")};
    return store.AddBan(ban) ? 0 : Fail(out, store.LastError());
}

int Unban(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
    int room = 0;
    if (!ToInt(a[0], room)) {
        return 2;
    }
    return store.RemoveBan(room, a[1]) ? 0 : Fail(out, QStringLiteral("no such ban"));
}

int AddFormat(CStore& store, const QString&, const QStringList& a, QTextStream& out) {
    tagRoomFormat format;
    if (!ToInt(a[0], format.id) || !ToInt(a[2], format.maxMembers)) {
        return 2;
    }
    format.name = a[1];
    return store.AddFormat(format) ? 0
                                   : Fail(out, QStringLiteral("cannot add format %1").arg(a[0]));
}

int ListRooms(CStore& store, const QString&, const QStringList&, QTextStream& out) {
    for (const tagRoomRecord& r : store.Rooms()) {
        out << r.number << "\t" << r.area << "\t" << r.name << "\towner=" << r.owner
            << "\tmax=" << r.maxMembers << "\tserver=" << r.server
            << (r.password.isEmpty() ? "" : "\tlocked") << "\n";
    }
    return 0;
}

int ListAccounts(CStore& store, const QString&, const QStringList&, QTextStream& out) {
    for (const tagAccount& acc : store.Accounts()) {
        out << acc.number << "\t" << acc.name << "\t" << acc.nickname << "\n";
    }
    return 0;
}

// The commands to a running service go through the admin queue under their own names.
int Queue(CStore& store, const QString& command, int room, const QString& text,
          const QString& target, QTextStream& out) {
    CAdminQueue queue(store);
    return queue.Enqueue(command, room, text, target) ? 0 : Fail(out, queue.LastError());
}

int Notice(CStore& store, const QString& command, const QStringList& a, QTextStream& out) {
    int room = 0;
    if (!ToInt(a[0], room) || room < 0) {
        return 2;
    }
    return Queue(store, command, room, a.mid(1).join(QLatin1Char(' ')), QString(), out);
}

int QuitClient(CStore& store, const QString& command, const QStringList& a, QTextStream& out) {
    return Queue(store, command, 0, QString(), a[0], out);
}

int Shutdown(CStore& store, const QString& command, const QStringList&, QTextStream& out) {
    return Queue(store, command, 0, QString(), QString(), out);
}

int SendToRoom(CStore& store, const QString& command, const QStringList& a, QTextStream& out) {
    int room = 0;
    if (!ToInt(a[1], room) || !store.Room(room)) {
        return Fail(out, QStringLiteral("no room %1").arg(a[1]));
    }
    return Queue(store, command, room, QString(), a[0], out);
}

struct tagVerb {
    int words;  // the fewest words after the command's name
    int (*run)(CStore& store, const QString& command, const QStringList& a, QTextStream& out);
};

const std::map<QString, tagVerb>& Verbs() {
    static const std::map<QString, tagVerb> verbs = {
        {QStringLiteral("init"), {0, &Init}},
        {QStringLiteral("seed"), {0, &Seed}},
        {QStringLiteral("add-account"), {2, &AddAccount}},
        {QStringLiteral("set-password"), {2, &SetPassword}},
        {QStringLiteral("add-area"), {2, &AddArea}},
        {QStringLiteral("add-room"), {3, &AddRoom}},
        {QStringLiteral("set-room"), {2, &SetRoom}},
        {QStringLiteral("set-rank"), {3, &SetRank}},
        {QStringLiteral("ban"), {3, &Ban}},
        {QStringLiteral("unban"), {2, &Unban}},
        {QStringLiteral("add-format"), {3, &AddFormat}},
        {QStringLiteral("list-rooms"), {0, &ListRooms}},
        {QStringLiteral("list-accounts"), {0, &ListAccounts}},
        {QStringLiteral("notice"), {2, &Notice}},
        {QStringLiteral("text-notice"), {2, &Notice}},
        {QStringLiteral("quit-client"), {1, &QuitClient}},
        {QStringLiteral("send-to-room"), {2, &SendToRoom}},
        {QStringLiteral("shutdown"), {0, &Shutdown}},
    };
    return verbs;
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
    if (!args.isEmpty()) {
        const QString& command = args.front();
        const QStringList a = args.mid(1);
        auto verb = Verbs().find(command);
        if (verb != Verbs().end() && a.size() >= verb->second.words) {
            return verb->second.run(store, command, a, out);
        }
    }
    out << AdminUsage();
    return 2;
}
