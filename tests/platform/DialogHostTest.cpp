#include "platform/Clock.h"
#include "platform/DialogHost.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

// A dialog that ends itself on a timer, like the request dialogs do.
class CTimedDialog : public CDialogModel {
public:
    explicit CTimedDialog(int id = 7) : CDialogModel(id) {}
    int initCalls = 0;

protected:
    void OnInitDialog() override {
        ++initCalls;
        SetTitle("等待");
        SetTimer(79, 40000);
    }
    void OnTimer(unsigned id) override {
        KillTimer(id);
        MessageBox("请求超时");
        EndDialog(IDCANCEL);
    }
};

TEST(DialogHost, ScriptedActionsAndTheDialogsOwnTimerRunInsideItsLoop) {
    CScriptedUi ui;
    ui.dialogs.Script(7, [](CDialogModel& d) { d.OnOK(); });
    CTimedDialog d;
    EXPECT_EQ(d.DoModal(), IDOK);
    EXPECT_EQ(d.initCalls, 1);
    EXPECT_FALSE(d.IsOpen());
    ASSERT_EQ(ui.dialogs.History().size(), 1u);
    EXPECT_EQ(ui.dialogs.History()[0].title, "等待");

    // The person does nothing; time passes on the manual clock and the dialog's own timer
    // ends it.
    CManualClock clock;
    CScopedClock scope(clock);
    bool openJustBefore = false;
    ui.dialogs.Script(7, [&](CDialogModel& d) {
        clock.Advance(39999);
        openJustBefore = d.IsOpen();
        d.EndDialog(IDOK);
    });
    ui.dialogs.Script(7, [&](CDialogModel&) { clock.Advance(40000); });
    CTimedDialog first;
    EXPECT_EQ(first.DoModal(), IDOK);
    EXPECT_TRUE(openJustBefore);
    EXPECT_FALSE(ui.prompt.Saw("请求超时"));
    CTimedDialog second;
    EXPECT_EQ(second.DoModal(), IDCANCEL);
    EXPECT_TRUE(ui.prompt.Saw("请求超时"));
    EXPECT_EQ(ui.prompt.History().back().caption, "Warning");
}

TEST(DialogHost, NestedDialogsEndInnermostFirst) {
    CScriptedUi ui;
    std::vector<int> order;
    CTimedDialog outer(1);
    ui.dialogs.Script(1, [&](CDialogModel& d) {
        CTimedDialog inner(2);
        ui.dialogs.Script(2, [&](CDialogModel& i) {
            d.EndDialog(IDOK);  // the outer one is asked to end while the inner runs
            i.EndDialog(IDCANCEL);
        });
        order.push_back(inner.DoModal());
        order.push_back(d.IsOpen() ? 1 : 0);
    });
    order.push_back(outer.DoModal());
    EXPECT_EQ(order, (std::vector<int>{IDCANCEL, 1, IDOK}));
}

TEST(ScriptedPrompt, AnswersFromTheQueueThenWithTheFirstButton) {
    CScriptedPrompt prompt;
    CScopedPrompt scope(prompt);
    prompt.Answer(IDNO);
    EXPECT_EQ(MessageBox("a", "Warning", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox("b", "Warning", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBox("c"), IDOK);
    EXPECT_EQ(prompt.Texts(), (QStringList{"a", "b", "c"}));
}

}  // namespace
