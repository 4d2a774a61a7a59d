#pragma once
// The small waiting window that loads one directory list: it shows "取列表信息" while the page
// loads and, when the loader says the page is complete, hides itself and hands the page's text
// and its kind to the hall. It also looks every 15 seconds whether the page is complete, for a
// load that never says so. The hall keeps one per kind.

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
    // Hands the complete page over, once per load.
    void HandOver();

    IHallView* m_view;
    Handler m_handler;
    CWebDocument m_page;
    int m_kind = 0;
    bool m_loading = false;  // a page is on its way and not handed over yet
    bool m_visible = false;
    QString m_title;
    QString m_status;
};
