#include "room/GiveGiftDlg.h"

#include "platform/Profile.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFileInfo>

QString CGiftCatalogue::Folder(const QString& programFolder, const QString& skin) {
    if (!skin.isEmpty()) {
        const QString own = programFolder + QStringLiteral("/skin/skins/%1/public/gift").arg(skin);
        if (QFileInfo(own).isDir()) {
            return own;
        }
    }
    return programFolder + QStringLiteral("/skin/public/gift");
}

bool CGiftCatalogue::Load(const QString& folder, bool vip, const QString& programFolder) {
    m_gifts.clear();
    m_stamps.clear();
    const QString ini =
        folder + (vip ? QStringLiteral("/gift_VIP.ini") : QStringLiteral("/gift.ini"));
    const QString main = QStringLiteral("Main");
    const int count = GetPrivateProfileInt(main, QStringLiteral("Count"), 0, ini);
    for (int i = 1; i <= count && i <= kMaxItems; ++i) {
        const QString section = QStringLiteral("Gift%1").arg(i);
        tagGiftItem item;
        item.number = GetPrivateProfileInt(section, QStringLiteral("Number"), 0, ini);
        item.name = GetPrivateProfileString(section, QStringLiteral("Name"), QString(), ini);
        item.value = GetPrivateProfileInt(section, QStringLiteral("Value"), 0, ini);
        const QString picture =
            QFileInfo(GetPrivateProfileString(section, QStringLiteral("Picture"), QString(), ini))
                .fileName();
        if (item.number <= 0 || item.name.isEmpty()) {
            continue;
        }
        item.picture = picture.isEmpty()
                           ? programFolder + QStringLiteral("/img/gift/%1.gif").arg(item.number)
                           : folder + QLatin1Char('/') + picture;
        m_gifts.push_back(item);
    }
    const int stamps = GetPrivateProfileInt(main, QStringLiteral("StampCount"), 0, ini);
    for (int n = 1; n <= stamps && n <= kMaxItems; ++n) {
        m_stamps.push_back({n, LoadString(IDS_OP_STAMP) + QString::number(n), 0,
                            programFolder + QStringLiteral("/img/stamp/%1.bmp").arg(n)});
    }
    return !m_gifts.empty() || !m_stamps.empty();
}

const tagGiftItem* CGiftCatalogue::Find(int number, short kind) const {
    for (const tagGiftItem& item : kind == GIFT_KIND_STAMP ? m_stamps : m_gifts) {
        if (item.number == number) {
            return &item;
        }
    }
    return nullptr;
}

CGiveGiftDlg::CGiveGiftDlg(const CGiftCatalogue& catalogue, const QString& recipient, short mode,
                           bool oneItem)
    : CDialogModel(IDD),
      m_catalogue(catalogue),
      m_recipient(recipient),
      m_mode(mode),
      m_oneItem(oneItem) {
    SetTitle(LoadString(mode == GIFT_KIND_STAMP ? IDS_CHOOSE_STAMP : IDS_OP_GIFT));
}

const std::vector<int>& CGiveGiftDlg::QuantityPresets() {
    static const std::vector<int> presets = {1,   2,   3,   5,    11,   38,   51,   99,  438,
                                             510, 520, 999, 1314, 3344, 5151, 5240, 9999};
    return presets;
}

const std::vector<tagGiftItem>& CGiveGiftDlg::Items() const {
    return m_mode == GIFT_KIND_STAMP ? m_catalogue.Stamps() : m_catalogue.Gifts();
}

void CGiveGiftDlg::Choose(int index) {
    if (index >= 0 && index < static_cast<int>(Items().size())) {
        m_chosen = index;
        Changed();
    }
}

const tagGiftItem* CGiveGiftDlg::ChosenItem() const {
    const auto& items = Items();
    return m_chosen >= 0 && m_chosen < static_cast<int>(items.size()) ? &items[m_chosen] : nullptr;
}

void CGiveGiftDlg::SetQuantity(int quantity) {
    // The wire carries the quantity as a short.
    m_quantity = OffersQuantity() ? std::clamp(quantity, 0, 32767) : 1;
    Changed();
}

void CGiveGiftDlg::OnOK() {
    if (!ChosenItem() || m_quantity < 1) {
        MessageBox(LoadString(IDS_BAD_GIFT), QStringLiteral("Warning"), MB_OK);
        return;
    }
    EndDialog(IDOK);
}
