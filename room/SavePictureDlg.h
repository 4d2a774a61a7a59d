#pragma once
// The save-file dialog of a snapshot: the user names a BMP file. A name that does not end in
// ".BMP" (in any case) gets ".Bmp"; a name shorter than five characters is no name.

#include "platform/DialogHost.h"

#include <QString>

class CSavePictureDlg : public CDialogModel {
public:
    // The common save-file dialog has no template of the system's; this number is ours.
    enum : int { IDD = 32001 };

    CSavePictureDlg();

    static QString Filter() { return QStringLiteral("BMP(*.bmp)"); }
    void SetPath(const QString& path) { m_path = path; }
    QString Path() const { return m_path; }
    // The path to save to after the dialog ended with OK; empty when there is none.
    QString ChosenPath() const;

private:
    QString m_path;
};
