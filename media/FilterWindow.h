#pragma once
// The windows of the media graphs: a source filter's window that takes the frames and sound
// blocks handed to it, and the windows to which render filters deliver. Each has a number
// (its handle) by which the stream configuration block names it; the handle table is
// process-wide and safe from any thread.

#include "platform/MessageWindow.h"

#include <QByteArray>

#include <cstdint>

class CFilterWindow : public CMessageWindow {
public:
    CFilterWindow();
    ~CFilterWindow() override;

    int32_t Handle() const { return m_handle; }

    // Hands bytes to the window with the given handle and runs its handler now (the caller is
    // on the window's thread). False when no window has that handle.
    static bool SendCopyData(int32_t handle, unsigned tag, const QByteArray& bytes);
    // Queues bytes for the window with the given handle; safe from any thread.
    static bool PostCopyDataTo(int32_t handle, unsigned tag, QByteArray bytes);

protected:
    // Called with the bytes of every copy-data message.
    void OnCopyData(unsigned tag, const QByteArray& data) override {}

private:
    int32_t m_handle;
};
