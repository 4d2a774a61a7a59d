#pragma once
// The pictures of the member list, the hall and the windows, read from the program folder
// with their twice-as-large companions, so they stay sharp at 200% scaling.

#include <QIcon>
#include <QString>

class CIcons {
public:
    // Reads the sets once from the folder; missing pictures stay empty icons.
    static void Load(const QString& programFolder);

    static QIcon Head(int rank);
    static QIcon Level(int level);
    // "mic", "mic2", "privmic", "queue", "camera", "vip", "hidden", "blocked", and the hall
    // list's "room", "mark1", "mark2".
    static QIcon State(const QString& name);
    static QIcon App();
    // A face of the chat (first frame), for the face picker.
    static QIcon Face(int face);
    static int FaceCount();
};
