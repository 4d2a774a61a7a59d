#include "room/Gifts.h"

#include "core/AppState.h"
#include "platform/Clock.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/CenterKeys.h"
#include "room/ChatText.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomStrings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <limits>

int64_t OwnBalance() {
    const auto& numbers = CAppState::Get().userInfo.numbers;
    const auto it = numbers.find(UserInfoReplyKey::MONEY);
    return it != numbers.end() ? it->second : 0;
}

void SetOwnBalance(int64_t hundredths) {
    CAppState::Get().userInfo.numbers[UserInfoReplyKey::MONEY] =
        static_cast<int>(std::clamp<int64_t>(hundredths, std::numeric_limits<int>::min(),
                                             std::numeric_limits<int>::max()));
}

void ApplyGiftBalance(const CKParam& p, const QString& own, bool registered) {
    using namespace GiftGivenKey;
    int64_t balance = OwnBalance();
    if (p.TextOr(GIVER) == own) {
        balance -= p.IntOr(GIVER_DEBIT, 0);
    }
    if (p.TextOr(RECIPIENT) == own && registered) {
        balance += p.IntOr(RECIPIENT_CREDIT, 0);
    }
    if (!p.TextOr(THIRD).isEmpty() && p.TextOr(THIRD) == own) {
        balance += p.IntOr(THIRD_CREDIT, 0);
    }
    if (!p.TextOr(FOURTH).isEmpty() && p.TextOr(FOURTH) == own) {
        balance += p.IntOr(FOURTH_CREDIT, 0);
    }
    SetOwnBalance(balance);
}

CGifts::CGifts(CRoomDlg& room) : m_room(room) {}

void CGifts::Register(CDispatchTable& t) {
    t.Sends(CMD_GIFT);
    // A stamp travels as 390 with its kind; its own code names it in the reply's lines.
    t.Sends(CMD_STAMP);
    // Reading a gift's information is the private room's request, on its own connection.
    t.Elsewhere(CMD_GIFT_INFO);
    t.On(CMD_GIFT_GIVEN, [this](CKParam& p) { OnGiven(p); });
}

void CGifts::OnRoomOpened() {
    const tagRoomOptions& o = m_room.Options();
    const UserInfo* me = m_room.OwnRecord();
    m_catalogue.Load(CGiftCatalogue::Folder(o.programFolder, o.skin), me && me->IsVip(),
                     o.programFolder);
}

int CGifts::Give(const QString& recipient) {
    return Ask(recipient, GIFT_KIND_GIFT);
}

int CGifts::PutStamp(const QString& recipient) {
    return Ask(recipient, GIFT_KIND_STAMP);
}

int CGifts::Ask(const QString& recipient, short kind) {
    const UserInfo* me = m_room.OwnRecord();
    if (!me || !me->registered) {
        m_room.Panes().SystemLine(LoadString(IDS_LOGIN_FIRST));
        return -1;
    }
    if (recipient.isEmpty()) {
        return -1;
    }
    CGiveGiftDlg dialog(m_catalogue, recipient, kind);
    if (dialog.DoModal() != IDOK || !m_room.IsWindow() || !dialog.ChosenItem()) {
        return -1;
    }
    return Send(recipient, dialog.ChosenItem()->number, dialog.Quantity(), kind);
}

int CGifts::Send(const QString& recipient, int number, int quantity, short kind) {
    const UserInfo* me = m_room.OwnRecord();
    if (!me || !me->registered) {
        m_room.Panes().SystemLine(LoadString(IDS_LOGIN_FIRST));
        return -1;
    }
    if (recipient.isEmpty()) {
        return -1;
    }
    if (number <= 0 || quantity < 1 || quantity > 32767) {
        m_room.Panes().SystemLine(LoadString(IDS_BAD_GIFT));
        return -1;
    }
    // A stamp is answered under its own name but pends as the gift request it travels as.
    CRequestDiscipline& d = m_room.Discipline();
    if (!d.CheckPending(CMD_GIFT)) {
        return -1;
    }
    return d.SendAttempt(CMD_GIFT, [&](CKParam& p) {
        p.SetCString(GiveGiftKey::RECIPIENT, recipient);
        p.SetInt(GiveGiftKey::GIFT, number);
        p.SetShortInt(GiveGiftKey::QUANTITY,
                      kind == GIFT_KIND_STAMP ? 1 : static_cast<short>(quantity));
        p.SetShortInt(GiveGiftKey::KIND, kind);
    });
}

QString CGifts::ValueText(int hundredths, const QString& unit) {
    const double value = hundredths / 100.0;
    return QString::asprintf(value >= 1 ? "%0.0f" : "%0.1f", value) + unit;
}

void CGifts::OnGiven(CKParam& p) {
    using namespace GiftGivenKey;
    const QString giver = p.TextOr(GIVER);
    const QString recipient = p.TextOr(RECIPIENT);
    const int number = p.IntOr(GIFT, 0);
    const short kind = p.ShortOr(KIND, GIFT_KIND_GIFT);
    const int quantity = p.ShortOr(QUANTITY, 1);
    const QString own = m_room.OwnId();
    const UserInfo* me = m_room.OwnRecord();

    // 1. The balance moves as the service says.
    ApplyGiftBalance(p, own, me && me->registered);

    // 2, 3. The line.
    CRoomMembers& members = m_room.Members();
    const QString line = FillPlaceholders(
        LoadString(IDS_LINE_GIFT),
        {HtmlEscape(members.LineName(giver)), HtmlEscape(members.LineName(recipient)),
         HtmlEscape(p.TextOr(NAME)),
         HtmlEscape(ValueText(p.IntOr(VALUE, 0), CAppState::Get().settings.moneyName))});

    // 4. Gifts with pictures of their own and stamps show the picture once per item.
    const int edition = m_room.Edition();
    const bool pictures = (edition == EDITION_50 || edition == EDITION_70) &&
                          (number >= kPictureGifts || kind == GIFT_KIND_STAMP);
    bool redraw = false;
    if (pictures) {
        const QString folder = m_room.Options().programFolder;
        const QString item = kind == GIFT_KIND_STAMP
                                 ? QStringLiteral("%1<img src='file:///%2/img/stamp/%3.bmp'/>")
                                       .arg(line, folder, QString::number(number))
                                 : QStringLiteral("%1<img src='file:///%2/img/gift/%3.gif'/>")
                                       .arg(line, folder, QString::number(number));
        if (kind == GIFT_KIND_STAMP) {
            if (UserInfo* m = members.List().Find(recipient)) {
                m->stamp = number;
                redraw = true;
            }
        }
        if (quantity <= 1) {
            m_room.Panes().SystemLine(item);
        } else {
            for (int i = 1; i <= std::min(quantity, kMaxItemLines); ++i) {
                m_room.Panes().SystemLine(
                    QStringLiteral("%1<font color=red>[第%2个]</font>").arg(item).arg(i));
            }
        }
    } else {
        m_room.Panes().SystemLine(line);
    }

    // 5. The mark of both, for six hours, when it is higher than theirs.
    if (const int mark = p.IntOr(MARK, 0); mark != 0) {
        const int64_t now = CClock::Get().Now();
        for (const QString& id : {giver, recipient}) {
            UserInfo* m = members.List().Find(id);
            if (m && mark > m->CurrentGiftMark(now)) {
                m->giftMark = mark;
                m->giftMarkEnd = now + kMarkSeconds;
                redraw = true;
            }
        }
    }
    if (redraw) {
        members.Redraw();
    }

    // 6. The animation.
    if (!pictures || number >= kPictureGifts || kind == GIFT_KIND_STAMP) {
        Animate(p);
    }
}

void CGifts::Animate(const CKParam& p) {
    if (!m_view || !m_room.Chat().ShowsGiftAnimations()) {
        return;
    }
    using namespace GiftGivenKey;
    QStringList hosts{m_room.Entry().host, CAppState::Get().center.host};
    tagGiftAnimation a;
    a.source = AllowedSource(p.TextOr(ANIMATION), m_room.Options().programFolder, hosts);
    if (a.source.isEmpty()) {
        return;
    }
    // A window larger than any screen or shown for hours is not a gift any more.
    a.width = std::clamp(p.IntOr(WIDTH, 400), 1, 4096);
    a.height = std::clamp(p.IntOr(HEIGHT, 300), 1, 4096);
    a.seconds = std::clamp(p.IntOr(SECONDS, 5), 1, 600);
    a.options = p.IntOr(OPTIONS, 1);
    const QString suffix = QFileInfo(QUrl(a.source).path()).suffix().toLower();
    a.still = suffix == QLatin1String("bmp") || suffix == QLatin1String("jpg") ||
              suffix == QLatin1String("jpeg");
    m_view->ShowGiftAnimation(a);
}

QString CGifts::AllowedSource(const QString& source, const QString& programFolder,
                              const QStringList& hosts) {
    if (source.isEmpty()) {
        return QString();
    }
    const QUrl url(source);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        for (const QString& host : hosts) {
            if (!host.isEmpty() && url.host().compare(host, Qt::CaseInsensitive) == 0) {
                return url.toString();
            }
        }
        return QString();
    }
    QString path;
    if (scheme == QLatin1String("file")) {
        path = url.toLocalFile();
    } else if (scheme.isEmpty()) {
        path = QDir::isAbsolutePath(source) ? source : programFolder + QLatin1Char('/') + source;
    } else {
        return QString();
    }
    // Resolved, so that ".." and links cannot lead out of the picture folders.
    const QString file = QFileInfo(path).canonicalFilePath();
    for (const char* sub : {"/img/", "/skin/"}) {
        const QString root = QFileInfo(programFolder + QLatin1String(sub)).canonicalFilePath();
        if (!file.isEmpty() && !root.isEmpty() && file.startsWith(root + QLatin1Char('/'))) {
            return file;
        }
    }
    return QString();
}
