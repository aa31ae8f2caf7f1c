#include "ArrowIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace varrow {

QIcon ArrowIcon(double bearingDegrees, const QColor& colour) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(size / 2.0, size / 2.0);
        painter.rotate(bearingDegrees);
        const double s = size / 16.0;
        // Pointing up: a head and a shaft.
        QPainterPath path;
        path.moveTo(0, -7 * s);
        path.lineTo(6 * s, -1 * s);
        path.lineTo(2 * s, -1 * s);
        path.lineTo(2 * s, 7 * s);
        path.lineTo(-2 * s, 7 * s);
        path.lineTo(-2 * s, -1 * s);
        path.lineTo(-6 * s, -1 * s);
        path.closeSubpath();
        painter.fillPath(path, colour);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace varrow
