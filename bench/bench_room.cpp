// The room with ten thousand members: filing the member list, an arrival and a departure, and
// receiving chat lines through the dispatcher (filtering, faces, routing to a view).

#include "core/AppState.h"
#include "core/RoomGateway.h"
#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "room/RoomEntry.h"
#include "room/RoomMembers.h"
#include "room/RoomView.h"

#include <QCoreApplication>
#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

class CQuietHall : public IHallServices {
public:
    void RequestRoomAddress(int) override {}
    void SetHallStatus(const QString&) override {}
    void ShowHall(bool) override {}
    void StartVerifyTimer(bool) override {}
    void OpenLogin() override {}
    void PostToHall(unsigned, unsigned, long) override {}
};

// A page that keeps the fragments the way a document would, without drawing them.
class CCountingView : public CNullChatView {
public:
    bool InsertAtFirstTd(const QString& fragment) override {
        bytes += fragment.size();
        ++lines;
        return true;
    }
    qsizetype bytes = 0;
    int lines = 0;
};

QString MemberText(int i) {
    QStringList f;
    f << QStringLiteral("user%1").arg(i) << QStringLiteral("成员%1").arg(i)
      << QString::number(i % 3 != 0) << QString::number(i % 50 == 0 ? 30 : 20)
      << QString::number(i % 7 == 0) << QStringLiteral("0") << QStringLiteral("t")
      << QStringLiteral("") << QStringLiteral("t");
    while (f.size() < 23) {
        f << QStringLiteral("0");
    }
    return f.join(QLatin1Char(','));
}

struct CBenchRoom {
    CBenchRoom() {
        app.account.loginName = QStringLiteral("me");
        app.programFolder = QStringLiteral("/opt/tavo");
        entry.Room().SetViews(&roomView, &publicView, &privateView);
        tagEntryData data;
        data.room = 1;
        entry.Room().Open(data);
        entry.Room().Options().faceCount = 50;
        reply.SetShortInt(KEY_COMMAND, CMD_MEMBER_LIST_REPLY);
        reply.SetInt(30, 10000);
        for (int i = 0; i < 10000; ++i) {
            reply.SetCString(static_cast<short>(31 + i), MemberText(i));
        }
    }
    CAppState app;
    CScopedAppState appScope{app};
    CQuietHall hall;
    CRoomEntry entry{hall};
    CNullRoomView roomView;
    CCountingView publicView;
    CCountingView privateView;
    CKParam reply;
};

void BM_FileMemberList(benchmark::State& state) {
    CBenchRoom room;
    for (auto _ : state) {
        room.entry.Room().Members().LoadMemberList(room.reply);
        benchmark::DoNotOptimize(room.entry.Room().Members().List().Count());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_FileMemberList)->Unit(benchmark::kMillisecond);

void BM_ArrivalAndDeparture(benchmark::State& state) {
    CBenchRoom room;
    CRoomDlg& dlg = room.entry.Room();
    dlg.Members().LoadMemberList(room.reply);
    CKParam arrival;
    arrival.SetShortInt(KEY_COMMAND, CMD_ARRIVAL);
    arrival.SetCString(20, QStringLiteral("newcomer"));
    arrival.SetCString(30, QStringLiteral("新来的"));
    arrival.SetInt(40, 20);
    arrival.SetBoolean(50, true);
    arrival.SetBoolean(60, true);
    CKParam departure;
    departure.SetShortInt(KEY_COMMAND, CMD_DEPARTURE);
    departure.SetCString(20, QStringLiteral("newcomer"));
    for (auto _ : state) {
        dlg.DispatchPacket(arrival);
        dlg.DispatchPacket(departure);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_ArrivalAndDeparture)->Unit(benchmark::kMicrosecond);

void BM_ReceiveChatLines(benchmark::State& state) {
    CBenchRoom room;
    CRoomDlg& dlg = room.entry.Room();
    dlg.Members().LoadMemberList(room.reply);
    std::vector<CKParam> lines(10000);
    for (int i = 0; i < 10000; ++i) {
        CKParam& p = lines[static_cast<size_t>(i)];
        const QString id = QStringLiteral("user%1").arg(i);
        p.SetShortInt(KEY_COMMAND, CMD_TEXT_LINE);
        p.SetCString(20, id);
        p.SetCString(21, QString());
        p.SetCString(30,
                     QStringLiteral(
                         "<font color=#0000ff><a id=\"talkobject\" tavoid=\"%1\" tavoname=\"成员\" "
                         "href=\"\" style=\"text-decoration:none\">成员</a></font>说:<font  "
                         "style=\"font-family:'宋体';font-size:10pt;color:#000000;\">大家好 |#%2 "
                         "第%3句</font><br>")
                         .arg(id)
                         .arg(i % 60, 2, 10, QLatin1Char('0'))
                         .arg(i));
        p.SetInt(40, i % 10 == 0 ? 1 : 0);
    }
    for (auto _ : state) {
        for (CKParam& p : lines) {
            dlg.DispatchPacket(p);
        }
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    benchmark::DoNotOptimize(room.publicView.bytes);
}
BENCHMARK(BM_ReceiveChatLines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
