// The chat view under a long-running room: appending 10,000 lines to the real view on a real
// chat page (with faces, names and the scroll to the end the room asks for after each line),
// each line in an event-loop turn of its own, timing each hundred, so the first and the last
// hundred can be compared. A hundred ends with the view settled (its queued lines in the page
// and drawn), so each hundred pays for its own lines.
//
// And the view under a hostile member: each line of the hostile corpus
// (tests/room/data/chat-lines.txt), cleaned as a received line is, put into the page, laid
// out and drawn on its own, with the worst line's time; and the line of 24 nested tables.

#include "platform/Clock.h"
#include "room/ChatSanitizer.h"
#include "tests/room/ChatMarkupCheck.h"
#include "ui/ChatBrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <algorithm>
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
            view.Flush();
            QApplication::processEvents();
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
        constexpr int kLines = 10000;
        const std::vector<double> hundreds = Append(view, kLines);
        double total = 0;
        for (double h : hundreds) {
            total += h;
        }
        state.counters["per_line_ms"] = total * 1000 / kLines;
        state.counters["first100_ms"] = hundreds.front() * 1000;
        state.counters["last100_ms"] = hundreds.back() * 1000;
        state.counters["last_over_first"] = hundreds.back() / hundreds.front();
        state.counters["lines_kept"] = view.LineCount();
    }
}
BENCHMARK(BM_AppendTenThousandLines)->Unit(benchmark::kMillisecond)->Iterations(1);

struct tagShownView {
    CChatBrowser view;
    tagShownView() {
        view.SetProgramFolder(QStringLiteral(TAVO_PROGRAM_DIR));
        view.resize(600, 400);
        view.show();
        view.LoadPage(QStringLiteral("pub.htm"));
        QApplication::processEvents();
    }
    // Cleans a line as a received one is, shows it and draws the view.
    void Show(const QString& line) {
        view.InsertAtFirstTd(SanitizeChatFragment(line, QStringLiteral(TAVO_PROGRAM_DIR)));
        view.ScrollTo(0, 10000000);
        view.Flush();
        view.repaint();
        QApplication::processEvents();
    }
};

void BM_HostileLinesOneByOne(benchmark::State& state) {
    const std::vector<tagChatCase> cases =
        LoadChatCases(QStringLiteral(TAVO_TEST_DATA "/chat-lines.txt"));
    for (auto _ : state) {
        tagShownView shown;
        // Once through first: the first bold or italic line would time the loading of a font.
        // Then each line's best of three, so another program's turn on the processor is not
        // taken for the line's cost.
        for (const tagChatCase& c : cases) {
            shown.Show(c.input);
        }
        std::vector<double> best(cases.size(), 1e9);
        QElapsedTimer timer;
        for (int pass = 0; pass < 3; ++pass) {
            for (size_t i = 0; i < cases.size(); ++i) {
                timer.start();
                shown.Show(cases[i].input);
                best[i] = std::min(best[i], timer.nsecsElapsed() / 1e6);
            }
        }
        const auto worst = std::max_element(best.begin(), best.end());
        double total = 0;
        for (double ms : best) {
            total += ms;
        }
        state.counters["lines"] = static_cast<double>(cases.size());
        state.counters["mean_line_ms"] = total / std::max<size_t>(1, cases.size());
        state.counters["worst_line_ms"] = cases.empty() ? 0 : *worst;
        state.counters["worst_line_in_file"] =
            cases.empty() ? 0 : cases[static_cast<size_t>(worst - best.begin())].line;
    }
}
BENCHMARK(BM_HostileLinesOneByOne)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_TwentyFourNestedTables(benchmark::State& state) {
    const QString line = QStringLiteral("<table><tr><td>").repeated(24) + QStringLiteral("deep");
    tagShownView shown;
    for (auto _ : state) {
        shown.Show(line);
        shown.view.Clear();
    }
}
BENCHMARK(BM_TwentyFourNestedTables)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
