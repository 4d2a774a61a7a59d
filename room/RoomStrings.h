#pragma once
// The small text helpers every room feature shares.

#include "platform/StringIds.h"

#include <QString>
#include <QStringList>

// Replaces "XXX1" to "XXX4" in order (and a lone "XXX" by the first value).
QString FillPlaceholders(QString text, const QStringList& values);
// Makes a text safe to stand inside HTML text and attribute values.
QString HtmlEscape(const QString& text);
