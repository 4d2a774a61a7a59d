// The chat view under a long-running room: appending 10,000 lines to the real view on a real
// chat page (with faces, names and the scroll to the end the room asks for after each line),
// timing each hundred, so the first and the last hundred can be compared.

#include "ui/ChatBrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

QString Line(int i) {
    if (i % 5 == 0) {
        return QString(
                   R"(<font color=#1864ab><a id="talkobject" tavoid="u%1" tavoname="成员%1" href="" style="text-decoration:none">成员%1</a></font>说:<font style="font-family:'Noto Sans CJK SC';font-size:10pt;color:#000000;">第 %1 句 <IMG src="%2\img\face\%3.gif"></font><br>)")
            .arg(i)
            .arg(QStringLiteral(TAVO_PROGRAM_DIR))
            .arg(i % 40, 2, 10, QChar('0'));
    }
    return QString(
               R"(<font color=#1864ab><a id="talkobject" tavoid="u%1" tavoname="成员%1" href="" style="text-decoration:none">成员%1</a></font>说:<font style="color:#000000;">第 %1 句话，说点什么</font><br>)")
        .arg(i);
}

// Appends n lines, returning the seconds each hundred took.
std::vector<double> Append(CChatBrowser& view, int n) {
    std::vector<double> hundreds;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < n; ++i) {
        view.InsertAtFirstTd(Line(i));
        view.ScrollTo(0, 10000000);
        // Lay out and paint as the event loop would between two packets.
        QApplication::processEvents();
        if (i % 100 == 99) {
            hundreds.push_back(timer.nsecsElapsed() / 1e9);
            timer.restart();
        }
    }
    return hundreds;
}

void BM_AppendTenThousandLines(benchmark::State& state) {
    for (auto _ : state) {
        CChatBrowser view;
        view.SetProgramFolder(QStringLiteral(TAVO_PROGRAM_DIR));
        view.resize(600, 400);
        view.show();
        view.LoadPage(QStringLiteral("pub.htm"));
        const std::vector<double> hundreds = Append(view, 10000);
        state.counters["first100_ms"] = hundreds.front() * 1000;
        state.counters["last100_ms"] = hundreds.back() * 1000;
        state.counters["last_over_first"] = hundreds.back() / hundreds.front();
        state.counters["lines_kept"] = view.LineCount();
    }
}
BENCHMARK(BM_AppendTenThousandLines)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
