#include "ui/GiftWindows.h"

#include "core/AppState.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "ui/DialogWidget.h"
#include "ui/QtDialogHost.h"

#include <QBuffer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMovie>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

class CGiveGiftWindow : public CDialogWidget {
public:
    CGiveGiftWindow(CGiveGiftDlg& model, QWidget* parent)
        : CDialogWidget(model, parent), m_model(model) {
        setObjectName(QStringLiteral("GiveGiftWindow"));
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        auto* layout = new QVBoxLayout(this);
        m_items = new QListWidget(this);
        m_items->setObjectName(QStringLiteral("items"));
        m_items->setViewMode(QListView::IconMode);
        m_items->setIconSize(QSize(48, 48));
        m_items->setGridSize(QSize(96, 84));
        m_items->setResizeMode(QListView::Adjust);
        m_items->setMovement(QListView::Static);
        m_items->setMinimumSize(420, 260);
        const QString unit = CAppState::Get().settings.moneyName;
        for (const tagGiftItem& item : model.Items()) {
            QString text = item.name;
            if (model.Mode() != GIFT_KIND_STAMP) {
                text += QLatin1Char('\n') + CGifts::ValueText(item.value, unit);
            }
            new QListWidgetItem(QIcon(item.picture), text, m_items);
        }
        auto* form = new QFormLayout;
        form->addRow(LoadString(IDS_UI_GIFT_RECIPIENT), new QLabel(model.Recipient(), this));
        m_quantity = new QComboBox(this);
        m_quantity->setObjectName(QStringLiteral("quantity"));
        m_quantity->setEditable(true);
        m_quantity->setValidator(new QIntValidator(1, 32767, m_quantity));
        if (model.OffersQuantity()) {
            for (int n : CGiveGiftDlg::QuantityPresets()) {
                m_quantity->addItem(QString::number(n));
            }
            m_quantity->setCurrentIndex(0);
            form->addRow(LoadString(IDS_UI_GIFT_QUANTITY), m_quantity);
        } else {
            m_quantity->hide();
        }
        layout->addWidget(m_items);
        layout->addLayout(form);
        auto* buttons = new QDialogButtonBox(this);
        auto* ok = buttons->addButton(LoadString(IDS_UI_OK), QDialogButtonBox::AcceptRole);
        ok->setObjectName(QStringLiteral("ok"));
        ok->setDefault(true);
        auto* cancel = buttons->addButton(LoadString(IDS_UI_CANCEL), QDialogButtonBox::RejectRole);
        connect(ok, &QPushButton::clicked, this, [this] { PressOk(); });
        connect(cancel, &QPushButton::clicked, this, [this] { PressCancel(); });
        connect(m_items, &QListWidget::currentRowChanged, this,
                [this](int row) { m_model.Choose(row); });
        connect(m_items, &QListWidget::itemDoubleClicked, this, [this] { PressOk(); });
        layout->addWidget(buttons);
        Refresh();
    }

protected:
    void Refresh() override {
        if (m_items->currentRow() != m_model.Chosen()) {
            m_items->setCurrentRow(m_model.Chosen());
        }
    }
    void Store() override {
        m_model.Choose(m_items->currentRow());
        m_model.SetQuantity(m_quantity->currentText().toInt());
    }

private:
    CGiveGiftDlg& m_model;
    QListWidget* m_items;
    QComboBox* m_quantity;
};

}  // namespace

void RegisterGiftDialogs(CQtDialogHost& host) {
    host.Register(CGiveGiftDlg::IDD, [](CDialogModel& model, QWidget* parent) -> CDialogWidget* {
        auto* typed = dynamic_cast<CGiveGiftDlg*>(&model);
        return typed ? new CGiveGiftWindow(*typed, parent) : nullptr;
    });
}

CGiftFlashWindow::CGiftFlashWindow(const tagGiftAnimation& a, QNetworkAccessManager* network)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      m_animation(a),
      m_picture(new QLabel(this)) {
    setObjectName(QStringLiteral("GiftFlashWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(LoadString(IDS_OP_GIFT));
    resize(a.width + 6, a.height + 12);
    m_picture->setGeometry(3, 6, a.width, a.height);
    m_picture->setScaledContents(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QTimer::singleShot(a.seconds * 1000, this, &QWidget::close);
    const QUrl url(a.source);
    if (network &&
        (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))) {
        QNetworkReply* reply = network->get(QNetworkRequest(url));
        reply->setParent(this);
        connect(reply, &QNetworkReply::finished, this, [this, reply] {
            if (reply->error() == QNetworkReply::NoError) {
                auto* buffer = new QBuffer(this);
                // Gift pictures are small; a reply that is not is not one.
                buffer->setData(reply->read(8 << 20));
                buffer->open(QIODevice::ReadOnly);
                Play(buffer, QString());
            }
            reply->deleteLater();
        });
    } else {
        Play(nullptr, a.source);
    }
}

CGiftFlashWindow::~CGiftFlashWindow() = default;

void CGiftFlashWindow::Play(QIODevice* device, const QString& file) {
    m_movie =
        device ? new QMovie(device, QByteArray(), this) : new QMovie(file, QByteArray(), this);
    if (m_movie->isValid()) {
        m_picture->setMovie(m_movie);
        m_movie->start();
    } else if (!file.isEmpty()) {
        m_picture->setPixmap(QPixmap(file));
    }
}

CGiftAnimations::CGiftAnimations() : m_network(new QNetworkAccessManager) {}

CGiftAnimations::~CGiftAnimations() {
    for (const QPointer<CGiftFlashWindow>& w : m_windows) {
        delete w.data();
    }
    delete m_network;
}

void CGiftAnimations::ShowGiftAnimation(const tagGiftAnimation& animation) {
    std::erase_if(m_windows, [](const QPointer<CGiftFlashWindow>& w) { return w.isNull(); });
    auto* window = new CGiftFlashWindow(animation, m_network);
    m_windows.emplace_back(window);
    window->show();
}

int CGiftAnimations::Open() const {
    return static_cast<int>(std::count_if(m_windows.begin(), m_windows.end(),
                                          [](const auto& w) { return !w.isNull(); }));
}
