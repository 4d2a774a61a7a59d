#include "hall/Directory.h"

#include "core/AppState.h"
#include "hall/ConfigDocument.h"

#include <QXmlStreamReader>

namespace {

// Reads the Item children of the current element, calling take for each.
template <typename Take>
bool ReadItems(QXmlStreamReader& xml, Take take) {
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("Item")) {
            xml.skipCurrentElement();
            continue;
        }
        const auto attributes = xml.attributes();
        const QString name = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        if (xml.hasError()) {
            return false;
        }
        take(attributes, name);
    }
    return !xml.hasError();
}

int NumberAttribute(const QXmlStreamAttributes& attributes, const char* name) {
    bool ok = false;
    const int value = attributes.value(QLatin1String(name)).trimmed().toInt(&ok);
    return ok ? value : 0;
}

// Runs read over every element of the given name; false when the document is not XML.
template <typename Read>
bool ForEachElement(const QString& text, const QString& elementName, Read read) {
    if (text.trimmed().isEmpty()) {
        return false;
    }
    QXmlStreamReader xml(text);
    bool sawElement = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        sawElement = true;
        if (xml.name() == elementName && !read(xml)) {
            return false;
        }
    }
    return sawElement && !xml.hasError();
}

// Positions between whole characters, surrogate pairs kept together.
std::vector<qsizetype> Boundaries(const QString& text) {
    std::vector<qsizetype> at{0};
    for (qsizetype i = 0; i < text.size();) {
        i +=
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        at.push_back(i);
    }
    return at;
}

}  // namespace

bool ParseAreaDocument(const QString& text, const QString& elementName,
                       std::vector<tagAreaItem>& items) {
    std::vector<tagAreaItem> found;
    const bool ok = ForEachElement(text, elementName, [&](QXmlStreamReader& xml) {
        return ReadItems(xml, [&](const QXmlStreamAttributes& attributes, const QString& name) {
            if (!name.isEmpty()) {
                found.push_back({NumberAttribute(attributes, "id"), name});
            }
        });
    });
    items = ok ? std::move(found) : std::vector<tagAreaItem>();
    return ok;
}

bool ParseRoomDocument(const QString& text, std::vector<tagRoomItem>& items) {
    std::vector<tagRoomItem> found;
    const bool ok = ForEachElement(text, QStringLiteral("Room"), [&](QXmlStreamReader& xml) {
        return ReadItems(xml, [&](const QXmlStreamAttributes& attributes, const QString& name) {
            if (!name.isEmpty()) {
                found.push_back({NumberAttribute(attributes, "id"), name,
                                 attributes.value(QLatin1String("state")).toString(),
                                 attributes.value(QLatin1String("isp")).toString()});
            }
        });
    });
    items = ok ? std::move(found) : std::vector<tagRoomItem>();
    return ok;
}

QString AreaElementName(int kind, int edition) {
    if (edition == EDITION_10 && kind == 1) {
        return QStringLiteral("Favor");
    }
    if (edition == EDITION_10 && kind == 2) {
        return QStringLiteral("Region");
    }
    return QStringLiteral("Area");
}

QString CutToWidth(const QString& name, const QString& state, int columnWidth,
                   const TextWidthFn& width) {
    const int room = columnWidth - width(state);
    if (width(name) <= room) {
        return name;
    }
    // Drawn widths grow with the prefix, so the longest fitting prefix can be searched for.
    const std::vector<qsizetype> at = Boundaries(name);
    size_t lo = 0;              // fits (the empty prefix always "fits")
    size_t hi = at.size() - 1;  // the whole name does not
    while (hi - lo > 1) {
        const size_t mid = lo + (hi - lo) / 2;
        if (width(name.left(at[mid])) <= room) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return name.left(at[lo]);
}

QString CutToLength(const QString& name, const QString& state, int limit) {
    const qsizetype keep = std::max<qsizetype>(0, limit - state.size());
    return name.left(keep);
}

QString RoomListDocumentAddress(const QString& roomListAddress, int areaId) {
    return AreaDocumentAddress(roomListAddress, QString::number(areaId));
}
