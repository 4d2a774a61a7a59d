#include "room/RoomSettings.h"

#include "protocol/KParam.h"
#include "protocol/keys/EntryKeys.h"

namespace {
QString g_processText;
}

QString RoomProcessText() {
    return g_processText;
}

tagRoomSettings tagRoomSettings::FromReply(const CKParam& p) {
    tagRoomSettings s;
    using namespace RoomSettingsReplyKey;
    s.name = p.TextOr(NAME);
    s.topic = p.TextOr(TOPIC);
    s.text41 = p.TextOr(PROCESS_TEXT);
    g_processText = s.text41;
    s.number50 = p.IntOr(AREA, 0);
    s.number60 = p.IntOr(MAX_MEMBERS, 0);
    s.lockState = p.IntOr(LOCK_STATE, 0);
    s.mainHolder = p.TextOr(MAIN_HOLDER);
    s.secondHolder = p.TextOr(SECOND_HOLDER);
    s.micMode = p.IntOr(MIC_MODE, 0);
    s.forcedQueue = s.micMode == 1 && p.IntOr(FORCED_QUEUE, 0) == 1;
    s.micTime = p.IntOr(MIC_TIME, 0);
    s.publicText = p.BoolOr(PUBLIC_TEXT, true);
    s.videoAllowed = p.BoolOr(VIDEO_ALLOWED, true);
    s.dualMic = p.BoolOr(DUAL_MIC, false);
    s.number140 = p.IntOr(QUALITY, 0);
    const short frameRates[] = {FRAME_RATE_HIFI, FRAME_RATE_SINGING, FRAME_RATE_SPEECH};
    for (int i = 0; i < 3; ++i) {
        s.frameRates[i] = p.IntOr(frameRates[i], 0);
    }
    s.showTime = p.BoolOr(SHOW_TIME, false);
    s.flag190 = p.BoolOr(FLAG_190, false);
    for (int i = 0; i < 9; ++i) {
        s.numbers200[i] = p.IntOr(static_cast<short>(NUMBERS_200 + 10 * i), 0);
    }
    s.forbiddenNicknames = p.TextOr(FORBIDDEN_NICKNAMES);
    s.forbiddenTexts = p.TextOr(FORBIDDEN_TEXTS);
    s.number310 = p.IntOr(NUMBER_310, 0);
    s.flag330 = p.BoolOr(FLAG_330, false);
    s.flag340 = p.BoolOr(FLAG_340, false);
    s.scoreCost = p.IntOr(SCORE_COST, 0);
    s.guardQuota = p.IntOr(GUARD_QUOTA, 0);
    s.floorHolder = p.TextOr(FLOOR_HOLDER);
    return s;
}
