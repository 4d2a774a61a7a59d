#pragma once
// The window of a dialog model. It draws what the model holds and hands every user action to
// the model: OK, Cancel, the window's close button, Enter and Escape. The model alone decides
// when the dialog ends; the window never closes itself.

#include "platform/DialogHost.h"

#include <QDialog>

class CDialogWidget : public QDialog, public IDialogView {
    Q_OBJECT
public:
    explicit CDialogWidget(CDialogModel& model, QWidget* parent = nullptr);
    // A window made before its model exists (the hall window): Bind gives it the model.
    explicit CDialogWidget(QWidget* parent = nullptr);
    ~CDialogWidget() override;

    void Bind(CDialogModel& model) { m_model = &model; }
    // The program's main window is not modal (the room window beside it stays usable) and
    // outlives the model's run; the host only hides it.
    bool IsMainWindow() const { return m_mainWindow; }

    // The model, or nullptr once the dialog has ended.
    CDialogModel* Model() const { return m_model; }
    // The host calls this when the model ends; the window then only waits to be deleted.
    void Detach();

    // IDialogView: redraw from the model.
    void OnModelChanged() final;

protected:
    // Subclasses draw their fields here; the title is already set.
    virtual void Refresh() {}
    // Subclasses copy what the person typed into the model before OK runs.
    virtual void Store() {}

    // Runs OK or Cancel on the model (the buttons of subclasses call these).
    void PressOk();
    void PressCancel();

    // The first show fits the window to the screen's free area.
    void setVisible(bool visible) override;
    // Whether the window opens filling the screen's free area rather than at its own size.
    virtual bool FillsScreen() const { return false; }

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void accept() override;
    void reject() override;
    void SetMainWindow(bool main) { m_mainWindow = main; }

private:
    CDialogModel* m_model = nullptr;
    bool m_mainWindow = false;
    bool m_fitted = false;
};
