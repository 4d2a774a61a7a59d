#include "ui/CoreDialogs.h"

#include "hall/CreateRoomDlg.h"
#include "hall/LoginDlg.h"
#include "hall/TavoClientDlg.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/EntryDialogs.h"
#include "room/ModifyMicTimeDlg.h"
#include "room/PrivateFiles.h"
#include "room/SavePictureDlg.h"
#include "ui/FormDialog.h"
#include "ui/HallWindow.h"
#include "ui/QtDialogHost.h"
#include "ui/RoomDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

class CLoginWindow : public CFormDialog {
public:
    CLoginWindow(CLoginDlg& model, QWidget* parent) : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("LoginWindow"));
        setWindowTitle(LoadString(IDS_UI_LOGIN));
        m_user = new QLineEdit(model.UserId(), this);
        m_user->setObjectName(QStringLiteral("userId"));
        m_password = new QLineEdit(model.Password(), this);
        m_password->setObjectName(QStringLiteral("password"));
        m_password->setEchoMode(QLineEdit::Password);
        m_user->setMinimumWidth(220);
        form->addRow(LoadString(IDS_UI_USER_ID), m_user);
        form->addRow(LoadString(IDS_UI_PASSWORD), m_password);
        // The buttons were made first, so the fields come before them only by being told.
        setTabOrder(m_password, ok);
        m_user->setFocus();
    }

protected:
    void Refresh() override {
        if (m_user->text() != m_model.UserId()) {
            m_user->setText(m_model.UserId());
        }
        if (m_password->text() != m_model.Password()) {
            m_password->setText(m_model.Password());
        }
    }
    void Store() override {
        // Both fields are read before the model hears of either: each change redraws the
        // window from the model, which would wipe the field not stored yet.
        const QString user = m_user->text();
        const QString password = m_password->text();
        m_model.SetUserId(user);
        m_model.SetPassword(password);
    }

private:
    CLoginDlg& m_model;
    QLineEdit* m_user;
    QLineEdit* m_password;
};

class CCreateRoomWindow : public CFormDialog {
public:
    CCreateRoomWindow(CCreateRoomDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("CreateRoomWindow"));
        setWindowTitle(LoadString(IDS_UI_CREATE_ROOM));
        m_name = new QLineEdit(model.roomName, this);
        m_name->setObjectName(QStringLiteral("roomName"));
        m_name->setMinimumWidth(240);
        m_password = new QLineEdit(model.password, this);
        m_password->setObjectName(QStringLiteral("roomPassword"));
        m_password->setEchoMode(QLineEdit::Password);
        m_area = new QComboBox(this);
        m_area->setObjectName(QStringLiteral("area"));
        m_format = new QComboBox(this);
        m_format->setObjectName(QStringLiteral("format"));
        m_listed = new QCheckBox(LoadString(IDS_UI_LISTED_FIELD), this);
        m_listed->setChecked(model.visible);
        form->addRow(LoadString(IDS_UI_ROOM_NAME_FIELD), m_name);
        form->addRow(LoadString(IDS_UI_PASSWORD), m_password);
        form->addRow(LoadString(IDS_UI_AREA_FIELD), m_area);
        form->addRow(LoadString(IDS_UI_FORMAT_FIELD), m_format);
        form->addRow(QString(), m_listed);
        Refresh();
    }

protected:
    void Refresh() override {
        if (m_area->count() != static_cast<int>(m_model.Areas().size())) {
            m_area->clear();
            for (const AreaInfo& area : m_model.Areas()) {
                m_area->addItem(area.name, area.id);
            }
        }
        if (m_format->count() != static_cast<int>(m_model.Formats().size())) {
            m_format->clear();
            for (const RoomFormat& format : m_model.Formats()) {
                m_format->addItem(format.name, format.code);
                m_format->setItemData(m_format->count() - 1, format.description, Qt::ToolTipRole);
            }
        }
        m_area->setCurrentIndex(m_model.areaIndex);
        m_format->setCurrentIndex(m_model.formatIndex);
    }
    void Store() override {
        m_model.roomName = m_name->text();
        m_model.password = m_password->text();
        m_model.areaIndex = std::max(0, m_area->currentIndex());
        m_model.formatIndex = std::max(0, m_format->currentIndex());
        m_model.visible = m_listed->isChecked();
    }

private:
    CCreateRoomDlg& m_model;
    QLineEdit* m_name;
    QLineEdit* m_password;
    QComboBox* m_area;
    QComboBox* m_format;
    QCheckBox* m_listed;
};

class CMicTimeWindow : public CFormDialog {
public:
    CMicTimeWindow(CModifyMicTimeDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("MicTimeWindow"));
        setWindowTitle(LoadString(IDS_OP_MIC_TIME));
        m_choice = new QComboBox(this);
        m_choice->setObjectName(QStringLiteral("choice"));
        m_choice->addItems(CModifyMicTimeDlg::Choices());
        m_choice->setCurrentIndex(-1);
        m_seconds = new QSpinBox(this);
        m_seconds->setObjectName(QStringLiteral("seconds"));
        m_seconds->setRange(0, 32767);
        m_seconds->setSuffix(LoadString(IDS_UI_SECONDS_FIELD));
        form->addRow(LoadString(IDS_UI_MIC_TIME_FIELD), m_choice);
        form->addRow(QString(), m_seconds);
        connect(m_choice, qOverload<int>(&QComboBox::activated), this, [this](int index) {
            m_model.Choose(index);
            m_seconds->setValue(m_model.Seconds());
        });
        Refresh();
    }

protected:
    void Refresh() override { m_seconds->setValue(m_model.Seconds()); }
    void Store() override { m_model.SetSeconds(m_seconds->value()); }

private:
    CModifyMicTimeDlg& m_model;
    QComboBox* m_choice;
    QSpinBox* m_seconds;
};

class CUnlockWindow : public CFormDialog {
public:
    CUnlockWindow(CUnlockRoomDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("UnlockWindow"));
        setWindowTitle(LoadString(IDS_UI_UNLOCK_TITLE));
        m_password = new QLineEdit(model.Password(), this);
        m_password->setObjectName(QStringLiteral("password"));
        m_password->setEchoMode(QLineEdit::Password);
        m_password->setMinimumWidth(220);
        form->addRow(LoadString(IDS_UI_PASSWORD), m_password);
    }

protected:
    void Store() override { m_model.SetPassword(m_password->text()); }

private:
    CUnlockRoomDlg& m_model;
    QLineEdit* m_password;
};

class CPaymentWindow : public CFormDialog {
public:
    CPaymentWindow(CPaymentDlg& model, QWidget* parent) : CFormDialog(model, parent) {
        setObjectName(QStringLiteral("PaymentWindow"));
        setWindowTitle(LoadString(IDS_UI_PAYMENT_TITLE));
        auto* text = new QLabel(LoadString(IDS_UI_PAYMENT_TEXT).arg(model.Key80()), this);
        text->setWordWrap(true);
        form->addRow(text);
        if (!model.Key110().isEmpty()) {
            auto* more = new QLabel(model.Key110(), this);
            more->setWordWrap(true);
            form->addRow(more);
        }
    }
};

// A dialog of one path, typed or chosen in the file dialog its browse button opens: the file a
// snapshot is saved to, the file the private room offers and the folder it saves a file in.
template <typename TModel>
class CPathWindow : public CFormDialog {
public:
    using Browse = QString (*)(QWidget* parent, const QString& title, const QString& current,
                               const TModel& model);

    CPathWindow(TModel& model, QWidget* parent, const QString& name, const QString& title,
                Browse browse)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(name);
        setWindowTitle(title);
        auto* row = new QHBoxLayout;
        m_path = new QLineEdit(model.Path(), this);
        m_path->setObjectName(QStringLiteral("path"));
        m_path->setMinimumWidth(320);
        row->addWidget(m_path, 1);
        auto* button = new QPushButton(LoadString(IDS_UI_BROWSE), this);
        button->setObjectName(QStringLiteral("browse"));
        connect(button, &QPushButton::clicked, this, [this, browse] {
            const QString chosen = browse(this, windowTitle(), m_path->text(), m_model);
            if (!chosen.isEmpty()) {
                m_path->setText(chosen);
            }
        });
        row->addWidget(button);
        form->addRow(LoadString(IDS_UI_FILE_FIELD), row);
    }

protected:
    void Store() override { m_model.SetPath(m_path->text()); }

private:
    TModel& m_model;
    QLineEdit* m_path;
};

template <typename TModel>
CQtDialogHost::Factory PathWindowFor(const char* name, QString (*title)(const TModel&),
                                     typename CPathWindow<TModel>::Browse browse) {
    return [=](CDialogModel& model, QWidget* parent) -> CDialogWidget* {
        auto* typed = dynamic_cast<TModel*>(&model);
        return typed ? new CPathWindow<TModel>(*typed, parent, QLatin1String(name), title(*typed),
                                               browse)
                     : nullptr;
    };
}

}  // namespace

void RegisterCoreDialogs(CQtDialogHost& host, CHallWindow* hallWindow) {
    host.Register(CLoginDlg::IDD, WindowFor<CLoginDlg, CLoginWindow>());
    host.Register(CCreateRoomDlg::IDD, WindowFor<CCreateRoomDlg, CCreateRoomWindow>());
    host.Register(CModifyMicTimeDlg::IDD, WindowFor<CModifyMicTimeDlg, CMicTimeWindow>());
    host.Register(CUnlockRoomDlg::IDD, WindowFor<CUnlockRoomDlg, CUnlockWindow>());
    host.Register(CPaymentDlg::IDD, WindowFor<CPaymentDlg, CPaymentWindow>());
    RegisterRoomDialogs(host);
    host.Register(CSavePictureDlg::IDD,
                  PathWindowFor<CSavePictureDlg>(
                      "SavePictureWindow",
                      [](const CSavePictureDlg&) { return LoadString(IDS_UI_VIDEO_SAVE_TITLE); },
                      [](QWidget* parent, const QString& title, const QString& current,
                         const CSavePictureDlg&) {
                          return QFileDialog::getSaveFileName(parent, title, current,
                                                              CSavePictureDlg::Filter(), nullptr,
                                                              QFileDialog::DontUseNativeDialog);
                      }));
    const auto files = PathWindowFor<CFileChoiceDlg>(
        "FileChoiceWindow",
        [](const CFileChoiceDlg& model) {
            return LoadString(model.ChoosesFolder() ? IDS_UI_FOLDER_TO_SAVE : IDS_UI_FILE_TO_SEND);
        },
        [](QWidget* parent, const QString& title, const QString& current,
           const CFileChoiceDlg& model) {
            return model.ChoosesFolder()
                       ? QFileDialog::getExistingDirectory(parent, title, current,
                                                           QFileDialog::DontUseNativeDialog)
                       : QFileDialog::getOpenFileName(parent, title, current, QString(), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
        });
    for (int id :
         {int(CFileChoiceDlg::IDD_FILE_TO_SEND), int(CFileChoiceDlg::IDD_FOLDER_TO_SAVE)}) {
        host.Register(id, files);
    }
    if (hallWindow) {
        host.Register(CTavoClientDlg::IDD,
                      [hallWindow](CDialogModel& model, QWidget*) -> CDialogWidget* {
                          auto* hall = dynamic_cast<CTavoClientDlg*>(&model);
                          if (!hall) {
                              return nullptr;
                          }
                          hallWindow->BindHall(*hall);
                          return hallWindow;
                      });
    }
}
