// The room window with a crowd: redrawing a member list of 10,000 members (what the room asks
// after every arrival), and the resident memory of the window idle in a room of 1,000 members
// after 10,000 chat lines.

#include "app/client/HallRelay.h"
#include "platform/Clock.h"
#include "room/MemberList.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "ui/ChatBrowser.h"
#include "ui/Icons.h"
#include "ui/RoomWindow.h"

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

const QString kFolder = QStringLiteral(TAVO_PROGRAM_DIR);

void Fill(CMemberList& list, int count) {
    const int ranks[] = {10, 20, 20, 20, 30, 40, 50, 70, 80};
    for (int i = 0; i < count; ++i) {
        UserInfo member;
        member.id = QString::number(100000 + i);
        member.nickname = QStringLiteral("成员%1").arg(i);
        member.rank = i == 0 ? 60 : ranks[i % 9];
        member.registered = i % 3 != 0;
        member.flagB = i % 17 == 0;
        member.number110 = i % 10;
        list.Add(std::move(member));
    }
}

long ResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

struct Window {
    CHallRelay relay;
    CRoomEntry entry{relay};
    CRoomWindow window{entry.Room(), kFolder};
    Window() {
        window.resize(1100, 720);
        window.show();
        window.PublicView()->LoadPage(QStringLiteral("pub.htm"));
        window.PrivateView()->LoadPage(QStringLiteral("pri.htm"));
        QApplication::processEvents();
    }
};

void BM_RedrawTenThousandMembers(benchmark::State& state) {
    Window w;
    CMemberList members;
    Fill(members, 10000);
    for (auto _ : state) {
        w.window.RedrawMembers(members, QStringLiteral("10000人"));
        // The list paints what is in view, as after an arrival.
        w.window.repaint();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_RedrawTenThousandMembers)->Unit(benchmark::kMillisecond);

void BM_ResidentMemoryIdleInACrowdedTalkativeRoom(benchmark::State& state) {
    for (auto _ : state) {
        const long before = ResidentKilobytes();
        Window w;
        CMemberList members;
        Fill(members, 1000);
        w.window.RedrawMembers(members, QStringLiteral("1000人"));
        IChatView* view = w.window.PublicView();
        for (int i = 0; i < 10000; ++i) {
            view->InsertAtFirstTd(
                QStringLiteral(
                    R"(<font color=#1864ab><a id="talkobject" tavoid="%1" tavoname="成员%1" href="" style="text-decoration:none">成员%1</a></font>说:<font style="color:#000;">第 %2 句 <IMG src="%3\img\face\%4.gif"></font><br>)")
                    .arg(100000 + i % 1000)
                    .arg(i)
                    .arg(kFolder)
                    .arg(i % 40, 2, 10, QChar('0')));
            view->ScrollTo(0, 10000000);
            if (i % 50 == 0) {
                QApplication::processEvents();
            }
        }
        QApplication::processEvents();
        state.counters["rss_total_MB"] = ResidentKilobytes() / 1024.0;
        state.counters["rss_window_MB"] = (ResidentKilobytes() - before) / 1024.0;
        state.counters["lines_kept"] = w.window.findChild<CChatBrowser*>("publicView")->LineCount();
    }
}
BENCHMARK(BM_ResidentMemoryIdleInACrowdedTalkativeRoom)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    CIcons::Load(kFolder);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
