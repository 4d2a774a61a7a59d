#include "ui/FacePicker.h"

#include "ui/Icons.h"
#include "ui/ScreenFit.h"

#include <QGridLayout>
#include <QToolButton>

CFacePicker::CFacePicker(QWidget* parent) : QFrame(parent, Qt::Popup) {
    setObjectName(QStringLiteral("FacePicker"));
    setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(2);
    constexpr int kColumns = 10;
    for (int face = 0; face < CIcons::FaceCount(); ++face) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("face%1").arg(face));
        button->setIcon(CIcons::Face(face));
        button->setIconSize(QSize(24, 24));
        button->setAutoRaise(true);
        button->setToolTip(QStringLiteral("|#%1").arg(face, 2, 10, QLatin1Char('0')));
        connect(button, &QToolButton::clicked, this, [this, face] {
            hide();
            Q_EMIT FaceChosen(face);
        });
        grid->addWidget(button, face / kColumns, face % kColumns);
    }
}

void CFacePicker::PopupAt(const QPoint& globalPos, int aboveY) {
    adjustSize();
    PlacePopup(*this, globalPos, aboveY);
    show();
    PlacePopup(*this, globalPos, aboveY);
}
