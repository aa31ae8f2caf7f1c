#include "ReadoutLabel.h"

#include <QLabel>

namespace varrow {

QLabel* ReadoutLabel(QWidget* parent, const char* name, int minWidth) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(minWidth);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel* ReadoutLabel(QWidget* parent, const char* name, const QString& widest) {
    QLabel* label = ReadoutLabel(parent, name, 0);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 10);
    return label;
}

} // namespace varrow
