#include "room/SavePictureDlg.h"

CSavePictureDlg::CSavePictureDlg() : CDialogModel(IDD) {}

QString CSavePictureDlg::ChosenPath() const {
    if (Result() != IDOK || m_path.size() < 5) {
        return QString();
    }
    if (!m_path.endsWith(QStringLiteral(".BMP"), Qt::CaseInsensitive)) {
        return m_path + QStringLiteral(".Bmp");
    }
    return m_path;
}
