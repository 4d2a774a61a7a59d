#pragma once
// The give dialog: the skin's gift catalogue (or its stamps), the recipient and the quantity.
// The catalogue is the skin's "gift.ini" ("gift_VIP.ini" for VIP users) in the skin's public
// gift folder:
//   [Main]  Count=N  StampCount=M
//   [Gift1] .. [GiftN]  Number=1001  Name=玫瑰  Value=100 (hundredths)  Picture=rose.gif
// A gift without a Picture of the folder shows img/gift/<number>.gif.
// Stamps are numbered 1 to StampCount, their pictures img/stamp/<n>.bmp.

#include "platform/DialogHost.h"
#include "protocol/keys/GiftsKeys.h"

#include <QString>

#include <vector>

struct tagGiftItem {
    int number = 0;
    QString name;
    int value = 0;    // hundredths of the money unit
    QString picture;  // full path of its picture
};

class CGiftCatalogue {
public:
    // A file the user can edit: a silly count must not make us loop for long.
    static constexpr int kMaxItems = 999;

    // "skin/skins/<skin>/public/gift" when the skin has one, else "skin/public/gift".
    static QString Folder(const QString& programFolder, const QString& skin);
    // Reads the folder's "gift_VIP.ini" or "gift.ini"; false when it lists nothing.
    bool Load(const QString& folder, bool vip, const QString& programFolder);

    const std::vector<tagGiftItem>& Gifts() const { return m_gifts; }
    const std::vector<tagGiftItem>& Stamps() const { return m_stamps; }
    const tagGiftItem* Find(int number, short kind) const;

private:
    std::vector<tagGiftItem> m_gifts;
    std::vector<tagGiftItem> m_stamps;
};

class CGiveGiftDlg : public CDialogModel {
public:
    enum : int { IDD = 177 };

    // oneItem: the request carries no quantity (the private room's), so none is offered.
    CGiveGiftDlg(const CGiftCatalogue& catalogue, const QString& recipient, short mode,
                 bool oneItem = false);

    static const std::vector<int>& QuantityPresets();

    short Mode() const { return m_mode; }
    const QString& Recipient() const { return m_recipient; }
    // What the dialog offers: gifts, or stamps in stamp mode.
    const std::vector<tagGiftItem>& Items() const;
    void Choose(int index);
    int Chosen() const { return m_chosen; }
    const tagGiftItem* ChosenItem() const;
    // Whether the user chooses a quantity: not for a one-item request, and stamps always go
    // one at a time.
    bool OffersQuantity() const { return !m_oneItem && m_mode != GIFT_KIND_STAMP; }
    // Stays 1 where no quantity is offered.
    void SetQuantity(int quantity);
    int Quantity() const { return m_quantity; }

    // OK needs a chosen item and a quantity of at least 1.
    void OnOK() override;

private:
    const CGiftCatalogue& m_catalogue;
    QString m_recipient;
    short m_mode;
    bool m_oneItem;
    int m_chosen = 0;
    int m_quantity = 1;
};
