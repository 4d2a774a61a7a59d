// The desktop prompt service: the box a person sees for each kind of message, and the answer
// the core gets for each button.

#include "tests/ui/UiTestSupport.h"
#include "ui/QtPromptService.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <memory>

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

TEST(QtPromptService, PressedButtonBecomesTheSystemsAnswer) {
    CQtPromptService prompt;
    struct Case {
        unsigned flags;
        QMessageBox::StandardButton press;
        int expected;
    };
    const Case cases[] = {
        {MB_OK, QMessageBox::Ok, IDOK},
        {MB_OKCANCEL, QMessageBox::Ok, IDOK},
        {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO, QMessageBox::Yes, IDYES},
        {MB_YESNO, QMessageBox::No, IDNO},
        {MB_YESNOCANCEL, QMessageBox::Cancel, IDCANCEL},
    };
    for (const Case& c : cases) {
        QString shownText;
        tavotest::OnModalWindow([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            shownText = box->text();
            box->button(c.press)->click();
        });
        EXPECT_EQ(prompt.MessageBox("是否要退出系统塔沃?", "Warning", c.flags), c.expected);
        EXPECT_EQ(shownText, "是否要退出系统塔沃?");
    }
}

TEST(QtPromptService, ClosingTheBoxAnswersLikeItsEscapeButton) {
    CQtPromptService prompt;
    const std::pair<unsigned, int> cases[] = {
        {MB_OK, IDOK}, {MB_OKCANCEL, IDCANCEL}, {MB_YESNO, IDNO}};
    for (auto [flags, expected] : cases) {
        tavotest::OnModalWindow([](QWidget* w) { w->close(); });
        EXPECT_EQ(prompt.MessageBox("text", "Warning", flags), expected) << flags;
    }
}

TEST(QtPromptService, ServesTheCoresMessageBoxOnceInstalled) {
    CQtPromptService prompt;
    CScopedPrompt scope(prompt);
    QString caption;
    tavotest::OnModalWindow([&](QWidget* w) {
        caption = w->windowTitle();
        qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(::MessageBox("请先登陆!"), IDOK);
    EXPECT_EQ(caption, "Warning");
}
