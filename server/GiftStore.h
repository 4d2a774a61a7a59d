#pragma once
// The gift catalogue and the money gifts move, in the service's database: what each gift is
// called, costs and plays, and one transaction that takes the price from the giver and
// credits the recipient and the room's owner, or changes nothing when the giver is short.

#include "server/Store.h"

#include <QString>

#include <optional>
#include <vector>

struct tagGift {
    int number = 0;
    int kind = 0;  // 0 gift, 10 stamp
    QString name;
    int value = 0;      // hundredths of the money unit, for one item
    QString animation;  // a picture under the client's folder, or empty
    int width = 400;
    int height = 300;
    int seconds = 5;
    int mark = 0;  // the mark giver and recipient wear for a while; 0 for none
};

// Who got what of one gift, in hundredths.
struct tagGiftTransfer {
    int debit = 0;
    int recipientCredit = 0;
    int ownerCredit = 0;
};

class CGiftStore {
public:
    // Shares of the price, in percent: the recipient's and the room owner's.
    static constexpr int kRecipientShare = 70;
    static constexpr int kOwnerShare = 10;

    explicit CGiftStore(CStore& store);

    bool Add(const tagGift& gift);
    std::optional<tagGift> Find(int number, int kind);
    std::vector<tagGift> All();

    // Moves the money of quantity items: nullopt when the giver's balance is short or the
    // database failed (nothing changed then). recipient and owner are account numbers, 0 for
    // none; the owner gets nothing when it is the giver or the recipient.
    std::optional<tagGiftTransfer> Transfer(int giver, int recipient, int owner,
                                            const tagGift& gift, int quantity);
    int Balance(int account);
    bool SetBalance(int account, int money);
    // Takes amount from the account when it has that much; the balance left, or nullopt
    // (nothing taken) when it is short or there is no such account.
    std::optional<int> Charge(int account, int amount);

private:
    ISqlDb& Db() const { return m_store.Database(); }

    CStore& m_store;
};

// The demo catalogue and some money for each demo account.
bool SeedDemoGifts(CStore& store);
