#pragma once
// String-table numbers the room uses by name, and the small text helpers every room feature
// shares.

#include <QString>
#include <QStringList>

enum : int {
    IDS_SUCCESS_SUFFIX = 337,  // "成功."
    IDS_FAILURE_SUFFIX = 338,  // "失败."
    IDS_WAIT_SUFFIX = 339,     // ",请稍候..."
    IDS_SECONDS = 124,         // "秒"
    IDS_MINUTES = 127,         // "分"
    // Texts of the room without a number of their own.
    IDS_SPEAK_AFTER_ENTRY = 42000,  // "进入房间%d秒后才能发言"
    IDS_SYSTEM_FAULT = 42001,       // "抱歉, 系统故障, 请稍后再来."
    IDS_USER_CANCELLED = 42002,     // "用户取消操作."
    IDS_NOT_ENOUGH = 42003,         // "用户%s不足!"
    IDS_CHARGE_EXIT = 42004,        // forced exit for failed periodic charging
    IDS_FORCED_QUEUE = 42005,       // "(强制)"
    IDS_WHISPERS_TO_YOU = 42006,    // "悄悄地对你说:"
    IDS_WHISPER_WORD = 42007,       // "悄悄地"
};

// Replaces "XXX1" to "XXX4" in order (and a lone "XXX" by the first value).
QString FillPlaceholders(QString text, const QStringList& values);
// Makes a text safe to stand inside HTML text and attribute values.
QString HtmlEscape(const QString& text);
