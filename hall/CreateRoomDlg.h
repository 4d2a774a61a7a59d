#pragma once
// The create-room dialog: the user names the room and chooses its area and one of the room
// formats the hall server offers. What it gathers becomes keys 40 to 80 of request 642.

#include "platform/DialogHost.h"

#include <QString>

#include <vector>

class CKParam;

// One room format offered by reply 871: "code,name,description,".
struct RoomFormat {
    int code = 0;
    QString name;
    QString description;
};

struct AreaInfo {
    QString name;
    int id = 0;
};

class CCreateRoomDlg : public CDialogModel {
public:
    enum : int { IDD = 141 };

    CCreateRoomDlg() : CDialogModel(IDD) {}

    // The formats of reply 871: key 30 their number, keys 40 onwards one text each, three
    // fields each closed by "," ("code,name,description,"); any other text is skipped.
    static std::vector<RoomFormat> ParseFormats(const CKParam& reply);

    void SetFormats(std::vector<RoomFormat> formats) { m_formats = std::move(formats); }
    void SetAreas(std::vector<AreaInfo> areas) { m_areas = std::move(areas); }
    const std::vector<RoomFormat>& Formats() const { return m_formats; }
    const std::vector<AreaInfo>& Areas() const { return m_areas; }

    // The user's choices.
    QString roomName;
    QString password;  // empty: no password
    int areaIndex = 0;
    int formatIndex = 0;
    bool visible = true;  // listed in the hall

    // Appends keys 40 (name), 50 (area id), 60 (password), 70 (format code) and 80 (listed).
    void AppendChoices(CKParam& request) const;

private:
    std::vector<RoomFormat> m_formats;
    std::vector<AreaInfo> m_areas;
};
