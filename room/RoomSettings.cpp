#include "room/RoomSettings.h"

#include "protocol/KParam.h"

namespace {
QString g_processText;
}

QString RoomProcessText() {
    return g_processText;
}

tagRoomSettings tagRoomSettings::FromReply(const CKParam& p) {
    tagRoomSettings s;
    s.name = p.TextOr(30);
    s.topic = p.TextOr(40);
    s.text41 = p.TextOr(41);
    g_processText = s.text41;
    s.number50 = p.IntOr(50, 0);
    s.number60 = p.IntOr(60, 0);
    s.lockState = p.IntOr(70, 0);
    s.mainHolder = p.TextOr(80);
    s.secondHolder = p.TextOr(90);
    s.micMode = p.IntOr(100, 0);
    s.forcedQueue = s.micMode == 1 && p.IntOr(101, 0) == 1;
    s.micTime = p.IntOr(110, 0);
    s.publicText = p.BoolOr(120, true);
    s.flag130 = p.BoolOr(130, false);
    s.dualMic = p.BoolOr(135, false);
    s.number140 = p.IntOr(140, 0);
    for (int i = 0; i < 3; ++i) {
        s.frameRates[i] = p.IntOr(static_cast<short>(150 + 10 * i), 0);
    }
    s.showTime = p.BoolOr(180, false);
    s.flag190 = p.BoolOr(190, false);
    for (int i = 0; i < 9; ++i) {
        s.numbers200[i] = p.IntOr(static_cast<short>(200 + 10 * i), 0);
    }
    s.forbiddenNicknames = p.TextOr(290);
    s.forbiddenTexts = p.TextOr(300);
    s.number310 = p.IntOr(310, 0);
    s.flag330 = p.BoolOr(330, false);
    s.flag340 = p.BoolOr(340, false);
    s.number350 = p.IntOr(350, 0);
    s.number360 = p.IntOr(360, 0);
    s.floorHolder = p.TextOr(370);
    return s;
}
