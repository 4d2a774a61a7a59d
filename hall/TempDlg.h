#pragma once
// The small waiting window that loads one directory list: it shows "取列表信息" while the page
// loads, looks every 15 seconds whether the page is complete and, when it is, hides itself and
// hands the page's text and its kind to the hall. The hall keeps one per kind.

#include "platform/MessageWindow.h"
#include "platform/WebDocument.h"

#include <QString>

#include <functional>

class IHallView;

class CTempDlg : public CMessageWindow {
public:
    enum : unsigned { TIMER_CHECK = 1 };
    static constexpr unsigned kCheckMs = 15000;
    using Handler = std::function<void(int kind, const QString& text)>;

    CTempDlg(IHallView* view, Handler handler);
    ~CTempDlg() override;

    // Starts loading the page of a kind; a load under way is abandoned.
    void Load(const QString& address, int kind);
    void Stop();
    bool IsVisible() const { return m_visible; }
    int Kind() const { return m_kind; }
    QString Title() const { return m_title; }
    QString StatusText() const { return m_status; }

protected:
    void OnTimer(unsigned id) override;

private:
    void Show(bool visible);

    IHallView* m_view;
    Handler m_handler;
    CWebDocument m_page;
    int m_kind = 0;
    bool m_visible = false;
    QString m_title;
    QString m_status;
};
