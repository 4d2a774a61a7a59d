#pragma once
// Presents dialog models as windows. Each kind of dialog window registers a factory under the
// model's template id; a model whose template has none gets the status window (title, status
// text, Cancel). The window is shown application-modal while the model's own nested loop runs
// (DoModal), and removed when the model ends.

#include "platform/DialogHost.h"

#include <QPointer>

#include <functional>
#include <map>

class CDialogWidget;
class QWidget;

class CQtDialogHost : public IDialogHost {
public:
    // Builds the window for a model; nullptr when the model is not of the expected class (the
    // status window is used then).
    using Factory = std::function<CDialogWidget*(CDialogModel& model, QWidget* parent)>;

    void Register(int templateId, Factory factory);
    bool IsRegistered(int templateId) const { return m_factories.count(templateId) != 0; }

    void Open(CDialogModel& model) override;
    void Shown(CDialogModel& model) override;
    void Close(CDialogModel& model) override;

    // The window of a model while it runs.
    CDialogWidget* WidgetOf(const CDialogModel& model) const;

private:
    std::map<int, Factory> m_factories;
    std::map<const CDialogModel*, QPointer<CDialogWidget>> m_open;
};
