#include "ArrowIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace varrow {

QIcon DrawnIcon(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ArrowIcon(double bearingDegrees, const QColor& colour) {
    return DrawnIcon([bearingDegrees, colour](QPainter& painter) {
        painter.translate(8, 8);
        painter.rotate(bearingDegrees);
        // Pointing up: a head and a shaft.
        QPainterPath path;
        path.moveTo(0, -7);
        path.lineTo(6, -1);
        path.lineTo(2, -1);
        path.lineTo(2, 7);
        path.lineTo(-2, 7);
        path.lineTo(-2, -1);
        path.lineTo(-6, -1);
        path.closeSubpath();
        painter.fillPath(path, colour);
    });
}

} // namespace varrow
