// The desktop dialog host: models shown as windows while their own loops run, user actions
// routed to the model, and windows gone when the model ends; and the prompt service's boxes,
// and the answer the core gets for each button; the path dialogs of snapshots and files.

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/PrivateFiles.h"
#include "room/SavePictureDlg.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/Widgets.h"
#include "ui/CoreDialogs.h"
#include "ui/DialogWidget.h"
#include "ui/QtDialogHost.h"
#include "ui/QtPromptService.h"
#include "ui/StatusDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <tuple>

using tavotest::OnModalWindow;

namespace {

constexpr int kNameTemplate = 133;
constexpr int kWaitTemplate = 999;

// A model with one text field that refuses an empty name, like the system's input dialogs.
class CNameModel : public CDialogModel {
public:
    CNameModel() : CDialogModel(kNameTemplate) {}
    QString name;
    int refusals = 0;
    void OnOK() override {
        if (name.isEmpty()) {
            ++refusals;
            return;
        }
        EndDialog(IDOK);
    }

protected:
    void OnInitDialog() override { SetTitle(QStringLiteral("登陆")); }
};

class CNameWidget : public CDialogWidget {
public:
    CNameWidget(CNameModel& model, QWidget* parent) : CDialogWidget(model, parent), m_model(model) {
        auto* layout = new QVBoxLayout(this);
        edit = new QLineEdit(this);
        layout->addWidget(edit);
        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        layout->addWidget(ok);
        connect(ok, &QPushButton::clicked, this, [this] { PressOk(); });
    }
    QLineEdit* edit;

protected:
    void Store() override { m_model.name = edit->text(); }

private:
    CNameModel& m_model;
};

// A waiting model: a status line that changes while it runs; optionally swallows the keys.
class CWaitModel : public CDialogModel {
public:
    explicit CWaitModel(bool swallow = false, bool endAtInit = false)
        : CDialogModel(kWaitTemplate), m_swallow(swallow), m_endAtInit(endAtInit) {}
    bool SwallowsEnterAndEscape() const override { return m_swallow; }
    using CDialogModel::Changed;

protected:
    void OnInitDialog() override {
        SetTitle(QStringLiteral("取列表信息"));
        SetStatusText(QStringLiteral("取列表信息,请稍候..."));
        if (m_endAtInit) {
            EndDialog(IDOK);
        }
    }

private:
    bool m_swallow;
    bool m_endAtInit;
};

struct HostFixture : ::testing::Test {
    CQtDialogHost host;
    CScopedDialogHost scope{host};
    HostFixture() {
        host.Register(kNameTemplate, [](CDialogModel& model, QWidget* parent) -> CDialogWidget* {
            auto* name = dynamic_cast<CNameModel*>(&model);
            return name ? new CNameWidget(*name, parent) : nullptr;
        });
    }
};

}  // namespace

TEST_F(HostFixture, RegisteredWindowStoresInputAndTheModelDecidesWhenItEnds) {
    CNameModel model;
    QPointer<CDialogWidget> seen;
    OnModalWindow([&](QWidget* w) {
        auto* widget = dynamic_cast<CNameWidget*>(w);
        ASSERT_NE(widget, nullptr);
        seen = widget;
        EXPECT_EQ(widget->windowTitle(), "登陆");
        EXPECT_TRUE(widget->isModal());
        // Enter with the field empty: the model refuses and the window stays.
        QTest::keyClick(widget->edit, Qt::Key_Return);
        EXPECT_EQ(model.refusals, 1);
        EXPECT_TRUE(model.IsOpen());
        QTest::keyClicks(widget->edit, "alice");
        QTest::keyClick(widget->edit, Qt::Key_Return);
    });
    EXPECT_EQ(model.DoModal(), IDOK);
    EXPECT_EQ(model.name, "alice");
    EXPECT_EQ(host.WidgetOf(model), nullptr);
    ASSERT_TRUE(tavotest::WaitUntil([&] { return seen.isNull(); }));
}

TEST_F(HostFixture, EscapeAndTheCloseButtonCancel) {
    for (int way = 0; way < 2; ++way) {
        CNameModel model;
        OnModalWindow([&](QWidget* w) {
            if (way == 0) {
                QTest::keyClick(w, Qt::Key_Escape);
            } else {
                w->close();
            }
        });
        EXPECT_EQ(model.DoModal(), IDCANCEL) << way;
        EXPECT_TRUE(model.name.isEmpty());
    }
}

TEST_F(HostFixture, AnUnregisteredTemplateOrAnotherModelClassGetsTheStatusWindow) {
    CWaitModel model;
    OnModalWindow([&](QWidget* w) {
        auto* status = dynamic_cast<CStatusDialog*>(w);
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->windowTitle(), "取列表信息");
        EXPECT_EQ(status->ShownStatus(), "取列表信息,请稍候...");
        model.SetStatusText(QStringLiteral("正在连接"));
        EXPECT_EQ(status->ShownStatus(), "正在连接");
        auto* cancel = status->findChild<QPushButton*>("cancel");
        ASSERT_NE(cancel, nullptr);
        EXPECT_TRUE(cancel->isVisible());
        cancel->click();
    });
    EXPECT_EQ(model.DoModal(), IDCANCEL);

    // Template 133 is registered for CNameModel; a different model class must not be cast.
    class COther : public CDialogModel {
    public:
        COther() : CDialogModel(kNameTemplate) {}
    } other;
    bool wasStatus = false;
    OnModalWindow([&](QWidget* w) {
        wasStatus = dynamic_cast<CStatusDialog*>(w) != nullptr;
        other.EndDialog(IDOK);
    });
    EXPECT_EQ(other.DoModal(), IDOK);
    EXPECT_TRUE(wasStatus);
}

TEST_F(HostFixture, OnlyTheModelEndsASwallowingOrAnAlreadyEndedDialog) {
    CWaitModel model(/*swallow=*/true);
    OnModalWindow([&](QWidget* w) {
        EXPECT_FALSE(w->findChild<QPushButton*>("cancel")->isVisible());
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_TRUE(model.IsOpen());
        // Only the model's own logic (here: its connection answering) ends it.
        model.EndDialog(IDOK);
    });
    EXPECT_EQ(model.DoModal(), IDOK);

    // A model that ends while it initialises shows no window at all.
    CWaitModel early(false, /*endAtInit=*/true);
    EXPECT_EQ(early.DoModal(), IDOK);
    EXPECT_EQ(host.WidgetOf(early), nullptr);
    tavotest::Spin(std::chrono::milliseconds(20));
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->isVisible() && dynamic_cast<CDialogWidget*>(w)) << "a window was left up";
    }
}

TEST_F(HostFixture, NestedDialogsStackAndUnwindInOrder) {
    CWaitModel outer;
    CNameModel inner;
    int innerResult = 0;
    OnModalWindow([&](QWidget* outerWindow) {
        OnModalWindow(
            [&](QWidget* innerWindow) {
                EXPECT_NE(innerWindow, outerWindow);
                EXPECT_NE(host.WidgetOf(outer), nullptr);
                QTest::keyClick(innerWindow, Qt::Key_Escape);
            },
            outerWindow);
        innerResult = inner.DoModal();
        EXPECT_TRUE(outer.IsOpen());
        outer.EndDialog(IDOK);
    });
    EXPECT_EQ(outer.DoModal(), IDOK);
    EXPECT_EQ(innerResult, IDCANCEL);
}

namespace {

QStringList ButtonTexts(QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* b : box.buttons()) {
        texts << b->text();
    }
    texts.sort();
    return texts;
}

}  // namespace

TEST(QtPromptService, BoxShowsCaptionTextButtonsAndIconForEachKind) {
    struct Case {
        unsigned flags;
        QMessageBox::Icon icon;
        QStringList buttons;
    };
    const Case cases[] = {
        {MB_OK, QMessageBox::NoIcon, {"确定"}},
        {MB_OKCANCEL | MB_ICONQUESTION, QMessageBox::Question, {"取消", "确定"}},
        {MB_YESNO | MB_ICONINFORMATION, QMessageBox::Information, {"否", "是"}},
        {MB_OK | MB_ICONWARNING, QMessageBox::Warning, {"确定"}},
        {MB_OK | MB_ICONERROR, QMessageBox::Critical, {"确定"}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<QMessageBox> box(
            CQtPromptService::CreateBox("房间号非法", "Warning", c.flags));
        EXPECT_EQ(box->windowTitle(), "Warning");
        EXPECT_EQ(box->text(), "房间号非法");
        EXPECT_EQ(box->icon(), c.icon) << c.flags;
        QStringList expected = c.buttons;
        expected.sort();
        EXPECT_EQ(ButtonTexts(*box), expected) << c.flags;
        EXPECT_FALSE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    }
    std::unique_ptr<QMessageBox> top(CQtPromptService::CreateBox(
        "请求超时", "Warning", MB_OK | MB_ICONINFORMATION | MB_TOPMOST));
    EXPECT_TRUE(top->windowFlags() & Qt::WindowStaysOnTopHint);
}

// Installed, the service answers the core's message box: the pressed button, or closing the
// box, becomes the system's answer.
TEST(QtPromptService, PressedButtonOrClosingBecomesTheSystemsAnswer) {
    CQtPromptService prompt;
    CScopedPrompt scope(prompt);
    struct Case {
        unsigned flags;
        QMessageBox::StandardButton press;
        int expected;
    };
    const Case cases[] = {
        {MB_OKCANCEL, QMessageBox::Ok, IDOK},
        {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO, QMessageBox::Yes, IDYES},
        {MB_YESNO, QMessageBox::No, IDNO},
        {MB_YESNOCANCEL, QMessageBox::Cancel, IDCANCEL},
        // Closing the box answers like its escape button.
        {MB_OK, QMessageBox::NoButton, IDOK},
        {MB_OKCANCEL, QMessageBox::NoButton, IDCANCEL},
        {MB_YESNO, QMessageBox::NoButton, IDNO},
    };
    for (const Case& c : cases) {
        QString shownText;
        QString caption;
        OnModalWindow([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            shownText = box->text();
            caption = box->windowTitle();
            if (c.press == QMessageBox::NoButton) {
                box->close();
            } else {
                box->button(c.press)->click();
            }
        });
        EXPECT_EQ(::MessageBox("是否要退出系统塔沃?", "Warning", c.flags), c.expected);
        EXPECT_EQ(shownText, "是否要退出系统塔沃?");
        EXPECT_EQ(caption, "Warning");
    }
}

TEST(PathDialogs, EachHasItsTitleAndHandsTheTypedPathToItsModel) {
    CQtDialogHost host;
    CScopedDialogHost scope{host};
    RegisterCoreDialogs(host, nullptr);
    CSavePictureDlg picture;
    CFileChoiceDlg file(CFileChoiceDlg::IDD_FILE_TO_SEND);
    CFileChoiceDlg folder(CFileChoiceDlg::IDD_FOLDER_TO_SAVE);
    const std::tuple<CDialogModel*, int, QString> cases[] = {
        {&picture, IDS_UI_VIDEO_SAVE_TITLE, "/tmp/shot.bmp"},
        {&file, IDS_UI_FILE_TO_SEND, "/tmp/papers.bin"},
        {&folder, IDS_UI_FOLDER_TO_SAVE, "/tmp"},
    };
    for (const auto& [model, title, path] : cases) {
        OnModalWindow([title = title, path = path](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), LoadString(title));
            w->findChild<QLineEdit*>("path")->setText(path);
            w->findChild<QPushButton*>("ok")->click();
        });
        EXPECT_EQ(model->DoModal(), IDOK);
    }
    EXPECT_EQ(picture.Path(), "/tmp/shot.bmp");
    EXPECT_EQ(file.Path(), "/tmp/papers.bin");
    EXPECT_EQ(folder.ChosenPath(), "/tmp");
}
