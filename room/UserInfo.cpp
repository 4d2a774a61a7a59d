#include "room/UserInfo.h"

#include "hall/AppState.h"
#include "protocol/KParam.h"

#include <QStringList>

UserInfo UserInfo::FromArrival(const CKParam& p, int edition, int64_t now) {
    UserInfo u;
    u.id = p.TextOr(20);
    u.nickname = p.TextOr(30);
    u.rank = p.IntOr(40, 0);
    u.registered = p.BoolOr(50, false);
    u.flagB = p.BoolOr(60, false);
    u.flag70 = p.BoolOr(70, false);
    u.entryText = p.TextOr(80);
    u.flag90 = p.BoolOr(90, false);
    u.text100 = p.TextOr(100);
    u.number110 = p.IntOr(110, 0);
    u.hidden = p.BoolOr(120, false);
    u.text130 = p.TextOr(130);
    u.number150 = p.IntOr(150, 0);
    u.number140 = p.IntOr(140, 0);
    u.number160 = p.IntOr(160, 0);
    u.numbers170[0] = p.IntOr(170, 0);
    u.numbers170[1] = p.IntOr(180, 0);
    u.numbers170[2] = p.IntOr(190, 0);
    u.seniorOperator = p.IntOr(200, 0);
    u.number210 = p.IntOr(210, 0);
    u.number220 = p.IntOr(220, 0);
    u.enterPicture = p.IntOr(230, 0);
    if (edition == EDITION_50 || edition == EDITION_70) {
        u.number240 = p.IntOr(240, 0);
        u.shorts250[0] = p.ShortOr(250, 0);
        u.shorts250[1] = p.ShortOr(260, 0);
        u.shorts250[2] = p.ShortOr(270, 0);
        // An absent time reads as now.
        u.time280 = p.IntOr(280, static_cast<int>(now));
        u.short290 = p.ShortOr(290, 0);
    }
    u.short300 = p.ShortOr(300, 2);
    u.vipPicture = p.ShortOr(310, 0);
    u.onPrivateMic = p.BoolOr(320, false);
    return u;
}

namespace {

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
    if (edition == EDITION_50 || edition == EDITION_70) {
        if (f.size() > 23) {
            u.number240 = Int(f, 23);
        }
        if (f.size() >= 32) {
            u.shorts250[0] = static_cast<short>(Int(f, 24));
            u.shorts250[1] = static_cast<short>(Int(f, 25));
            u.shorts250[2] = static_cast<short>(Int(f, 26));
            u.time280 = Long(f, 27);
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
