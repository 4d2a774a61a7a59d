#include "server/GiftStore.h"

#include "server/SqlTable.h"

namespace {

const CSqlTable<tagGift> kGifts("gifts", {
                                             SqlColumn<&tagGift::number>("number", SQL_KEY),
                                             SqlColumn<&tagGift::kind>("kind", SQL_KEY),
                                             SqlColumn<&tagGift::name>("name"),
                                             SqlColumn<&tagGift::value>("value"),
                                             SqlColumn<&tagGift::animation>("animation"),
                                             SqlColumn<&tagGift::width>("width"),
                                             SqlColumn<&tagGift::height>("height"),
                                             SqlColumn<&tagGift::seconds>("seconds"),
                                             SqlColumn<&tagGift::mark>("mark"),
                                         });

}  // namespace

CGiftStore::CGiftStore(CStore& store) : m_store(store) {}

bool CGiftStore::Add(const tagGift& gift) {
    CSqlStatement q(Db(), kGifts.Insert());
    kGifts.Bind(q, gift);
    return q.Run();
}

std::optional<tagGift> CGiftStore::Find(int number, int kind) {
    CSqlStatement q(Db(), kGifts.Select("WHERE number = ? AND kind = ?"));
    q.Bind(1, number).Bind(2, kind);
    std::vector<tagGift> found = kGifts.ReadAll(q);
    return found.empty() ? std::nullopt : std::optional(found.front());
}

std::vector<tagGift> CGiftStore::All() {
    CSqlStatement q(Db(), kGifts.Select("ORDER BY kind, number"));
    return kGifts.ReadAll(q);
}

int CGiftStore::Balance(int account) {
    CSqlStatement q(Db(), "SELECT money FROM accounts WHERE number = ?");
    q.Bind(1, account);
    return q.Step() ? static_cast<int>(q.Int(0)) : 0;
}

bool CGiftStore::SetBalance(int account, int money) {
    CSqlStatement q(Db(), "UPDATE accounts SET money = ? WHERE number = ?");
    q.Bind(1, money).Bind(2, account);
    return q.Run() && Db().Changes() == 1;
}

std::optional<int> CGiftStore::Charge(int account, int amount) {
    if (amount < 0) {
        return std::nullopt;
    }
    // One statement, so two charges at once cannot both spend the same money.
    CSqlStatement q(Db(), "UPDATE accounts SET money = money - ? WHERE number = ? AND money >= ?");
    q.Bind(1, amount).Bind(2, account).Bind(3, amount);
    if (!q.Run() || Db().Changes() != 1) {
        return std::nullopt;
    }
    return Balance(account);
}

std::optional<tagGiftTransfer> CGiftStore::Transfer(int giver, int recipient, int owner,
                                                    const tagGift& gift, int quantity) {
    const int64_t price = static_cast<int64_t>(gift.value) * quantity;
    if (quantity < 1 || gift.value < 0 || price > INT32_MAX) {
        return std::nullopt;
    }
    tagGiftTransfer t;
    t.debit = static_cast<int>(price);
    t.recipientCredit = recipient != 0 ? static_cast<int>(price * kRecipientShare / 100) : 0;
    t.ownerCredit = owner != 0 && owner != giver && owner != recipient
                        ? static_cast<int>(price * kOwnerShare / 100)
                        : 0;
    if (!Db().Begin()) {
        return std::nullopt;
    }
    auto add = [&](int account, int amount) {
        CSqlStatement q(Db(), "UPDATE accounts SET money = money + ? WHERE number = ?");
        q.Bind(1, amount).Bind(2, account);
        return q.Run();
    };
    // The balance is checked inside the update, so two gifts at once cannot both spend it.
    CSqlStatement take(Db(),
                       "UPDATE accounts SET money = money - ? WHERE number = ? AND money >= ?");
    take.Bind(1, t.debit).Bind(2, giver).Bind(3, t.debit);
    const bool ok = take.Run() && Db().Changes() == 1 &&
                    (t.recipientCredit == 0 || add(recipient, t.recipientCredit)) &&
                    (t.ownerCredit == 0 || add(owner, t.ownerCredit));
    if (!ok) {
        Db().Rollback();
        return std::nullopt;
    }
    return Db().Commit() ? std::optional(t) : std::nullopt;
}

bool SeedDemoGifts(CStore& store) {
    CGiftStore gifts(store);
    bool ok = true;
    const tagGift catalogue[] = {
        {1, 0, QStringLiteral("鲜花"), 50, QStringLiteral("img/gift/1.gif"), 200, 200, 3, 0},
        {2, 0, QStringLiteral("掌声"), 100, QStringLiteral("img/gift/2.gif"), 200, 200, 3, 0},
        {3, 0, QStringLiteral("香吻"), 200, QStringLiteral("img/gift/3.gif"), 200, 200, 3, 0},
        {4, 0, QStringLiteral("棒棒糖"), 100, QStringLiteral("img/gift/4.gif"), 200, 200, 3, 0},
        {5, 0, QStringLiteral("皇冠"), 500, QStringLiteral("img/gift/5.gif"), 200, 200, 3, 0},
        {1001, 0, QStringLiteral("玫瑰"), 1000, QStringLiteral("img/gift/1001.gif"), 300, 300, 5,
         0},
        {1002, 0, QStringLiteral("蛋糕"), 2000, QStringLiteral("img/gift/1002.gif"), 300, 300, 5,
         0},
        {1003, 0, QStringLiteral("钻戒"), 5000, QStringLiteral("img/gift/1003.gif"), 400, 300, 5,
         1},
        {1004, 0, QStringLiteral("跑车"), 10000, QStringLiteral("img/gift/1004.gif"), 400, 300, 8,
         2},
    };
    for (const tagGift& g : catalogue) {
        ok = gifts.Add(g) && ok;
    }
    for (int stamp = 1; stamp <= 12; ++stamp) {
        ok = gifts.Add({stamp, 10, QStringLiteral("印章%1").arg(stamp), 100,
                        QStringLiteral("img/stamp/%1.bmp").arg(stamp), 100, 100, 3, 0}) &&
             ok;
    }
    // Each demo account starts with 1000 units to give away.
    for (const tagAccount& a : store.Accounts()) {
        ok = gifts.SetBalance(a.number, 100000) && ok;
    }
    return ok;
}
