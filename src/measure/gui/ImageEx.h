#pragma once

// The map image control: shows a picture (the mosaic, owned by the map
// session) stretched to the control's size.
//
// The mosaic can be 15,000 pixels square, so the control never copies or
// converts it as a whole: a paint draws only the exposed part, a changed
// rectangle repaints only its own part of the control, and the drag preview
// shifts the picture while painting instead of rewriting its pixels.

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QWidget>

namespace varrow {

class TImageEx : public QWidget {
    Q_OBJECT
public:
    explicit TImageEx(QWidget* parent = nullptr);

    // The picture shown; it must live as long as the control shows it.
    void SetPicture(const QImage* picture);
    const QImage* Picture() const { return m_picture; }
    QSize PictureSize() const;

    // Automatic sizing: the control takes the picture's size and shows it 1:1.
    void SetAutoSize(bool on);
    bool AutoSize() const { return m_autoSize; }
    // Shows the picture magnified by factor (automatic sizing goes off): the
    // control becomes Trunc(width·factor) by Trunc(height·factor).
    void SetMagnification(double factor);
    // The picture changed size (a new load): every part must be painted again.
    void PictureReset();
    // Part of the picture changed (picture pixels): only that part repaints.
    void PictureChanged(const QRect& pictureRect);

    // The control stretches the picture to its own size; this is the one
    // mapping between its points and picture pixels.
    QPointF ControlToPictureF(QPointF point) const;
    QPoint ControlToPicture(QPoint point) const;
    QRect PictureToControl(const QRect& pictureRect) const;

    // Drag preview: the picture shows shifted by offset picture pixels, with
    // white where nothing of it lies.
    void SetShift(QPoint offset);
    QPoint Shift() const { return m_shift; }

    QSize sizeHint() const override;

signals:
    // Mouse events in control coordinates; doubleClick marks the second press
    // of a double click.
    void mouseDown(Qt::MouseButton button, Qt::MouseButtons buttons,
                   Qt::KeyboardModifiers modifiers, QPoint point, bool doubleClick);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint point);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint point);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double ScaleX() const;
    double ScaleY() const;
    void FitSize();

    const QImage* m_picture = nullptr;
    bool m_autoSize = true;
    double m_magnification = 1.0;
    QPoint m_shift;
};

} // namespace varrow
