#pragma once
// The hall against scripted servers: the server-information host on the second route, the hall
// server on a TCP connection, a web server for documents; a manual clock so minutes of presence
// pass in milliseconds; the scripted prompt and dialogs answering for the user.

#include "core/AppState.h"
#include "hall/TavoClientDlg.h"
#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "tests/support/Loopback.h"
#include "tests/support/PacketFields.h"
#include "tests/support/RecordingViews.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tavotest {

// Installs an application state for the life of a test.
struct CStateScope {
    CAppState state;
    CScopedAppState scope{state};
};

class HallFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { hall.reset(); }

    // Runs the hall modally; body runs inside it once it is shown, then the hall is ended
    // unless body ended it. Returns what DoModal returned.
    int RunHall(const std::function<void()>& body);
    // Moves the clock a second at a time, running the event loop between seconds; stops early
    // when until() holds. Returns whether until() held.
    bool Step(int seconds, const std::function<bool()>& until = {});
    // Whether the last request of the command that the hall server read holds the fields.
    testing::AssertionResult CenterGot(short command, tagFields fields) const {
        CKParam last;
        return center.Last(command, last) ? HasFields(last, fields)
                                          : testing::AssertionFailure() << "nothing of " << command;
    }
    // A fresh hall window on the same state, with the room side given (none by default).
    void NewHall() { hall = std::make_unique<CTavoClientDlg>(state, view, roomSide); }

    CTempConfig config;
    CScriptedUi ui;
    CManualClock clock;
    CScopedClock clockScope{clock};
    CStateScope scope;
    CAppState& state = scope.state;
    CLoopbackServer route{kRouteFrame};
    CLoopbackServer center;
    CDocumentServer web;
    CRecordingView view;
    IRoomEntry* roomSide = nullptr;
    std::unique_ptr<CTavoClientDlg> hall;
};

}  // namespace tavotest
