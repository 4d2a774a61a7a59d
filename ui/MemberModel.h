#pragma once
// The member list as the room window draws it: the members grouped by rank, highest first,
// each group under a heading with its count. The model keeps a copy of what it draws (taken at
// each redraw the room asks for), so a member who left never leaves a dangling row.

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <vector>

class CMemberList;

struct tagMemberRow {
    bool heading = false;
    QString text;  // the heading's title, or the member's nickname
    QString id;
    int rank = 0;
    int level = 0;
    bool vip = false;
    bool hidden = false;
    bool privateMic = false;
    bool blocked = false;
    bool camera = false;   // the member announced a camera others may watch
    QString mark;          // the scoring winner's mark while it lasts
    int giftMark = 0;      // the mark of a big gift, while it lasts
    QString stampPicture;  // the stamp put on the member; empty for none
};

class CMemberModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum ERole { RowRole = Qt::UserRole + 1, IdRole };

    using QAbstractListModel::QAbstractListModel;

    // Takes the lists as they are now; holders and queue give the state icons.
    void Reset(const CMemberList& members, const QString& mainHolder, const QString& secondHolder,
               const QStringList& queue, const std::function<bool(const QString&)>& blocked,
               const std::function<bool(const QString&)>& camera = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const tagMemberRow* Row(int row) const;
    int MemberCount() const { return m_members; }
    QString MainHolder() const { return m_main; }
    QString SecondHolder() const { return m_second; }
    bool Queued(const QString& id) const { return m_queue.contains(id); }

    // The heading of a rank group.
    static QString GroupTitle(int list);

private:
    std::vector<tagMemberRow> m_rows;
    int m_members = 0;
    QString m_main;
    QString m_second;
    QStringList m_queue;
};

// Draws a member row: head by rank, nickname, level badge and state icons; headings bold.
class CMemberDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
