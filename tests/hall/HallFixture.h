#pragma once
// The hall window against scripted servers: the server-information host on the second route,
// the hall server on a TCP connection, a web server for documents; a manual clock so minutes
// of presence pass in milliseconds; the scripted prompt and dialogs answering for the user.

#include "hall/TavoClientDlg.h"
#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "tests/hall/HallTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace tavotest {

class HallFixture : public ::testing::Test {
protected:
    using Answer = std::function<void(CLoopbackPeer&, CKParam&)>;

    void SetUp() override;
    void TearDown() override;

    // Runs the hall modally; body runs inside it once it is shown, then the hall is ended
    // unless body ended it. Returns what DoModal returned.
    int RunHall(const std::function<void()>& body);

    // Moves the clock a second at a time, running the event loop between seconds; stops early
    // when until() holds. Returns whether until() held.
    bool Step(int seconds, const std::function<bool()>& until = {});

    // Answers a command with a reply built by fill (command and key 20 = 0 are set already).
    void AnswerWith(short request, short reply, const std::function<void(CKParam&)>& fill = {});
    void Silence(short request) { answers.erase(request); }

    // The last packet of a command the hall server received.
    bool LastReceived(short command, CKParam& packet) const;

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
    std::map<short, Answer> answers;
    std::unique_ptr<CTavoClientDlg> hall;
};

}  // namespace tavotest
