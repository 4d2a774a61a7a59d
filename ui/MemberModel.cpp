#include "ui/MemberModel.h"

#include "core/AppState.h"
#include "platform/Clock.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/MemberList.h"
#include "ui/Icons.h"

#include <QApplication>
#include <QPainter>

namespace {

// Highest ranks first, the owner among them by rank code.
constexpr CMemberList::EList kOrder[] = {
    CMemberList::LIST_80,     CMemberList::LIST_70,   CMemberList::OWNER,
    CMemberList::LIST_50,     CMemberList::LIST_40,   CMemberList::LIST_30,
    CMemberList::GENERAL_2_B, CMemberList::GENERAL_2, CMemberList::GENERAL_1,
};

}  // namespace

QString CMemberModel::GroupTitle(int list) {
    switch (list) {
        case CMemberList::LIST_80:
            return LoadString(IDS_UI_RANK_80);
        case CMemberList::LIST_70:
            return LoadString(IDS_UI_RANK_70);
        case CMemberList::OWNER:
            return LoadString(IDS_UI_RANK_OWNER);
        case CMemberList::LIST_50:
            return LoadString(IDS_UI_RANK_50);
        case CMemberList::LIST_40:
            return LoadString(IDS_UI_RANK_40);
        case CMemberList::LIST_30:
            return LoadString(IDS_UI_RANK_30);
        case CMemberList::GENERAL_2_B:
        case CMemberList::GENERAL_2:
            return LoadString(IDS_UI_RANK_MEMBER);
        default:
            return LoadString(IDS_UI_RANK_VISITOR);
    }
}

void CMemberModel::Reset(const CMemberList& members, const QString& mainHolder,
                         const QString& secondHolder, const QStringList& queue,
                         const std::function<bool(const QString&)>& blocked,
                         const std::function<bool(const QString&)>& camera) {
    beginResetModel();
    const int64_t now = CClock::Get().Now();
    m_rows.clear();
    m_rows.reserve(static_cast<size_t>(members.Count()) + CMemberList::LIST_COUNT);
    m_members = 0;
    m_main = mainHolder;
    m_second = secondHolder;
    m_queue = queue;
    QString lastTitle;
    size_t headingAt = 0;
    int inGroup = 0;
    auto closeGroup = [&] {
        if (inGroup > 0) {
            m_rows[headingAt].text = QStringLiteral("%1 (%2)").arg(lastTitle).arg(inGroup);
        }
    };
    for (CMemberList::EList list : kOrder) {
        const auto& filed = members.List(list);
        if (filed.empty()) {
            continue;
        }
        const QString title = GroupTitle(list);
        // Both halves of general list 2 share one heading.
        if (title != lastTitle || inGroup == 0) {
            closeGroup();
            lastTitle = title;
            inGroup = 0;
            headingAt = m_rows.size();
            m_rows.push_back({true, title});
        }
        for (const UserInfo& member : filed) {
            tagMemberRow row;
            row.text = member.nickname;
            row.id = member.id;
            row.rank = member.rank;
            // The member's numeric fields have no settled meaning; the badge shows the step of
            // the rank code (visitor 0, member 1, operator 2 ... up to 7 for code 80).
            row.level = std::clamp(member.rank / 10 - 1, 0, 9);
            row.vip = member.IsVip();
            row.hidden = member.hidden;
            row.privateMic = member.onPrivateMic;
            row.blocked = blocked && blocked(member.id);
            row.camera = camera && camera(member.id);
            row.mark = member.ShownMark(now);
            row.giftMark = member.CurrentGiftMark(now);
            if (member.stamp > 0) {
                row.stampPicture = QStringLiteral("%1/img/stamp/%2.bmp")
                                       .arg(CAppState::Get().programFolder)
                                       .arg(member.stamp);
            }
            m_rows.push_back(std::move(row));
            ++inGroup;
            ++m_members;
        }
    }
    closeGroup();
    endResetModel();
}

int CMemberModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

const tagMemberRow* CMemberModel::Row(int row) const {
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? &m_rows[static_cast<size_t>(row)]
                                                             : nullptr;
}

QVariant CMemberModel::data(const QModelIndex& index, int role) const {
    const tagMemberRow* row = Row(index.row());
    if (!row) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return row->text;
        case Qt::ToolTipRole:
            if (row->heading) {
                return {};
            }
            return row->mark.isEmpty()
                       ? QStringLiteral("%1 (%2)").arg(row->text, row->id)
                       : QStringLiteral("%1 (%2) %3").arg(row->text, row->id, row->mark);
        case IdRole:
            return row->id;
        case RowRole:
            return index.row();
        default:
            return {};
    }
}

Qt::ItemFlags CMemberModel::flags(const QModelIndex& index) const {
    const tagMemberRow* row = Row(index.row());
    if (!row || row->heading) {
        return Qt::ItemIsEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QSize CMemberDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const int line = option.fontMetrics.height();
    return QSize(200, std::max(22, line + 6));
}

void CMemberDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const auto* model = static_cast<const CMemberModel*>(index.model());
    const tagMemberRow* row = model->Row(index.row());
    if (!row) {
        return;
    }
    painter->save();
    const QRect r = option.rect;
    const QPalette& pal = option.palette;
    if (row->heading) {
        painter->fillRect(r, pal.color(QPalette::AlternateBase));
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        painter->setPen(pal.color(QPalette::Text));
        painter->drawText(r.adjusted(8, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, row->text);
        painter->restore();
        return;
    }
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(r, pal.color(QPalette::Highlight));
        painter->setPen(pal.color(QPalette::HighlightedText));
    } else {
        painter->setPen(pal.color(QPalette::Text));
    }
    const int icon = 16;
    const int y = r.top() + (r.height() - icon) / 2;
    int x = r.left() + 8;
    CIcons::Head(row->rank).paint(painter, QRect(x, y, icon, icon));
    x += icon + 6;
    // State icons sit at the right edge, the level badge before them.
    QStringList states;
    if (row->id == model->MainHolder()) {
        states << QStringLiteral("mic");
    }
    if (row->id == model->SecondHolder()) {
        states << QStringLiteral("mic2");
    }
    if (row->privateMic) {
        states << QStringLiteral("privmic");
    }
    if (model->Queued(row->id)) {
        states << QStringLiteral("queue");
    }
    if (row->camera) {
        states << QStringLiteral("camera");
    }
    if (row->vip) {
        states << QStringLiteral("vip");
    }
    if (row->blocked) {
        states << QStringLiteral("blocked");
    }
    if (row->giftMark > 0) {
        states << (row->giftMark == 1 ? QStringLiteral("mark1") : QStringLiteral("mark2"));
    }
    int right = r.right() - 6;
    for (const QString& state : states) {
        right -= icon;
        CIcons::State(state).paint(painter, QRect(right, y, icon, icon));
        right -= 3;
    }
    right -= icon;
    CIcons::Level(row->level).paint(painter, QRect(right, y, icon, icon));
    right -= 6;
    // The winner's mark is a word, drawn before the badge as the icons are.
    if (!row->mark.isEmpty()) {
        const int width = option.fontMetrics.horizontalAdvance(row->mark);
        right -= width;
        painter->drawText(QRect(right, r.top(), width, r.height()), Qt::AlignVCenter, row->mark);
        right -= 6;
    }
    if (!row->stampPicture.isEmpty()) {
        right -= icon;
        painter->drawPixmap(QRect(right, y, icon, icon), QPixmap(row->stampPicture));
        right -= 4;
    }
    QFont font = option.font;
    font.setItalic(row->hidden);
    painter->setFont(font);
    const QString name =
        option.fontMetrics.elidedText(row->text, Qt::ElideRight, std::max(0, right - x));
    painter->drawText(QRect(x, r.top(), right - x, r.height()), Qt::AlignVCenter | Qt::AlignLeft,
                      name);
    painter->restore();
}
