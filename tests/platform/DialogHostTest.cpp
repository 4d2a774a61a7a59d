#include "platform/DialogHost.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

TEST(DialogHost, NestedDialogsEndInnermostFirst) {
    CScriptedUi ui;
    std::vector<int> order;
    CDialogModel outer(1);
    ui.dialogs.Script(1, [&](CDialogModel& d) {
        CDialogModel inner(2);
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

}  // namespace
