#pragma once
// Modal dialogs as models. The core owns the logic of a dialog (its fields, its OK and Cancel
// handling, its timers); a dialog host presents it: a QDialog bound to the model on the
// desktop, or a script in tests and in the console client. DoModal runs a nested event loop
// until the model calls EndDialog, so sockets and timers keep working meanwhile.

#include "platform/MessageWindow.h"
#include "platform/Prompt.h"
#include "platform/ServiceSlot.h"

#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

class QEventLoop;
class CDialogModel;

// What a host draws for a model, told when the model changes.
class IDialogView {
public:
    virtual ~IDialogView() = default;
    virtual void OnModelChanged() = 0;
};

class IDialogHost {
public:
    virtual ~IDialogHost() = default;
    // The model is about to run: create its view.
    virtual void Open(CDialogModel& model) = 0;
    // The model has initialised and its loop is about to start.
    virtual void Shown(CDialogModel& model) {}
    // The model ended: remove its view.
    virtual void Close(CDialogModel& model) = 0;

    // The process-wide host: the desktop's windows, or a script in tests and the console.
    static CServiceSlot<IDialogHost>& Slot();
    static IDialogHost& Get() { return Slot().Get(); }
};

class CDialogModel : public CMessageWindow {
public:
    explicit CDialogModel(int templateId);
    ~CDialogModel() override;

    // Presents the dialog and waits until it ends; returns IDOK or IDCANCEL (or what EndDialog
    // was given).
    int DoModal();
    void EndDialog(int result);

    int TemplateId() const { return m_templateId; }
    // True while the dialog is up (between its initialisation and its end).
    bool IsOpen() const { return m_open; }
    int Result() const { return m_result; }

    QString Title() const { return m_title; }
    void SetTitle(const QString& title);
    // The one status line most dialogs of the system show.
    QString StatusText() const { return m_status; }
    void SetStatusText(const QString& text);

    // The user pressed OK or Cancel (or closed the window).
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Enter and Escape reach these; dialogs that swallow them return true.
    virtual bool SwallowsEnterAndEscape() const { return false; }

    void SetView(IDialogView* view) { m_view = view; }

protected:
    // Called once the view exists, before the loop starts.
    virtual void OnInitDialog() {}
    // Called after OnInitDialog once the dialog is shown (the system's first show).
    virtual void OnShowDialog() {}
    // Tells the view to redraw from the model.
    void Changed();

private:
    int m_templateId;
    int m_result = IDCANCEL;
    bool m_open = false;
    bool m_ended = false;
    QEventLoop* m_loop = nullptr;
    IDialogView* m_view = nullptr;
    QString m_title;
    QString m_status;
};

// Records every dialog shown and answers from a script: for each template id a queue of
// actions run inside the dialog's loop once it is shown. Without an action the dialog runs
// until its own logic ends it.
class CScriptedDialogHost : public IDialogHost {
public:
    using Action = std::function<void(CDialogModel&)>;

    void Open(CDialogModel& model) override;
    void Shown(CDialogModel& model) override;
    void Close(CDialogModel& model) override;

    // Queues an action for the next dialog of that template.
    void Script(int templateId, Action action);
    // Drops the actions still queued for a template (the dialog they were meant for never came).
    void Unscript(int templateId);
    // The action used for a template when its queue is empty.
    void Default(int templateId, Action action);

    struct Record {
        int templateId;
        QString title;
    };
    std::vector<Record> History() const;
    int Count(int templateId) const;
    // The dialogs open right now, innermost last.
    std::vector<CDialogModel*> OpenDialogs() const { return m_open; }

private:
    mutable std::mutex m_mutex;
    std::map<int, std::deque<Action>> m_scripts;
    std::map<int, Action> m_defaults;
    std::vector<Record> m_history;
    std::vector<CDialogModel*> m_open;
};

// Installs a dialog host for the life of a scope.
using CScopedDialogHost = CScopedService<IDialogHost>;
