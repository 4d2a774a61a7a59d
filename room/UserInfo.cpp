#include "room/UserInfo.h"

#include "core/AppState.h"
#include "protocol/KParam.h"
#include "protocol/keys/MembersKeys.h"

#include <QStringList>

UserInfo UserInfo::FromArrival(const CKParam& p, int edition, int64_t now) {
    UserInfo u;
    using namespace ArrivalKey;
    u.id = p.TextOr(ID);
    u.nickname = p.TextOr(NICKNAME);
    u.rank = p.IntOr(RANK, 0);
    u.registered = p.BoolOr(REGISTERED, false);
    u.flagB = p.BoolOr(LISTED_FIRST, false);
    u.flag70 = p.BoolOr(FLAG_70, false);
    u.entryText = p.TextOr(ENTRY_TEXT);
    u.flag90 = p.BoolOr(FLAG_90, false);
    u.text100 = p.TextOr(TEXT_100);
    u.number110 = p.IntOr(ACCOUNT_NUMBER, 0);
    u.hidden = p.BoolOr(HIDDEN, false);
    u.text130 = p.TextOr(TEXT_130);
    u.number150 = p.IntOr(NUMBER_150, 0);
    u.number140 = p.IntOr(NUMBER_140, 0);
    u.number160 = p.IntOr(NUMBER_160, 0);
    u.numbers170[0] = p.IntOr(NUMBER_170, 0);
    u.numbers170[1] = p.IntOr(NUMBER_180, 0);
    u.numbers170[2] = p.IntOr(NUMBER_190, 0);
    u.seniorOperator = p.IntOr(SENIOR_OPERATOR, 0);
    u.number210 = p.IntOr(NUMBER_210, 0);
    u.number220 = p.IntOr(NUMBER_220, 0);
    u.enterPicture = p.IntOr(ENTRY_PICTURE, 0);
    if (edition == EDITION_50 || edition == EDITION_70) {
        u.number240 = p.IntOr(NUMBER_240, 0);
        u.shorts250[0] = p.ShortOr(SHORT_250, 0);
        u.shorts250[1] = p.ShortOr(SHORT_260, 0);
        u.shorts250[2] = p.ShortOr(SHORT_270, 0);
        u.short290 = p.ShortOr(SHORT_290, 0);
    }
    // Every edition lets its members use faces until this time; an absent time reads as now,
    // which permits none.
    u.time280 = p.IntOr(FACE_END, static_cast<int>(now));
    u.short300 = p.ShortOr(SHORT_300, 2);
    u.vipPicture = p.ShortOr(VIP_PICTURE, 0);
    u.onPrivateMic = p.BoolOr(ON_PRIVATE_MIC, false);
    return u;
}

namespace {

// Fields of a member text that carries the whole record, the face end time among them.
constexpr qsizetype kLongRecordFields = 32;

int Int(const QStringList& f, int i) {
    return i < f.size() ? f[i].trimmed().toInt() : 0;
}
int64_t Long(const QStringList& f, int i) {
    return i < f.size() ? f[i].trimmed().toLongLong() : 0;
}
bool Flag(const QStringList& f, int i) {
    return Int(f, i) != 0;
}

}  // namespace

bool UserInfo::FromMemberText(const QString& text, int edition, const QString& zeroText,
                              UserInfo& u, bool& listed) {
    const QStringList f = text.split(QLatin1Char(','));
    if (f.size() < 23) {
        return false;
    }
    u = UserInfo();
    // Fields are numbered from 1 as the server writes them; f[n - 1] is field n.
    u.id = f[0];
    u.nickname = f[1];
    u.registered = Flag(f, 2);
    u.rank = Int(f, 3);
    u.flagB = Flag(f, 4);
    u.flag70 = Flag(f, 5);
    listed = f[6] != QLatin1String("0");
    u.text3 = listed ? f[6] : zeroText;
    u.entryText = f[7] == QLatin1String("0") ? zeroText : f[7];
    u.text100 = f[8];
    u.flag90 = Flag(f, 9);
    u.number110 = Int(f, 10);
    u.number150 = static_cast<int>(Long(f, 11));
    u.number140 = static_cast<int>(Long(f, 12));
    u.hidden = Flag(f, 13);
    u.numbers170[0] = Int(f, 14);
    u.numbers170[1] = Int(f, 15);
    u.numbers170[2] = Int(f, 16);
    u.seniorOperator = Int(f, 17);
    u.number210 = Int(f, 18);
    u.number160 = Int(f, 19);
    u.number220 = Int(f, 20);
    u.enterPicture = Int(f, 21);
    u.listNumber23 = Int(f, 22);
    // The long record carries the face end time in field 28, and every edition lets its
    // members use faces by it; the rest of the long record is read by editions 50 and 70 alone.
    if (f.size() >= kLongRecordFields) {
        u.time280 = Long(f, 27);
    }
    if (edition == EDITION_50 || edition == EDITION_70) {
        if (f.size() > 23) {
            u.number240 = Int(f, 23);
        }
        if (f.size() >= kLongRecordFields) {
            u.shorts250[0] = static_cast<short>(Int(f, 24));
            u.shorts250[1] = static_cast<short>(Int(f, 25));
            u.shorts250[2] = static_cast<short>(Int(f, 26));
            u.short290 = static_cast<short>(Int(f, 28));
            u.short300 = static_cast<short>(Int(f, 29));
            u.vipPicture = static_cast<short>(Int(f, 30));
            u.onPrivateMic = Flag(f, 31);
            u.listFlag33 = Flag(f, 32);
        } else {
            u.short300 = 0;
        }
    }
    return true;
}
