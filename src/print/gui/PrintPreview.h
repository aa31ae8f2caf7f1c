#pragma once

// The print preview: the pages as small sheets of paper side by side in a scrolling area,
// each with its printable area and its picture. What the pages are and where the cells go
// is the model's; this widget paints it and reports the mouse over a cell.

#include "print/PreviewPages.h"

#include <QScrollArea>

#include <vector>

namespace varrow {

class TPrintPreview : public QScrollArea {
    Q_OBJECT
public:
    explicit TPrintPreview(QWidget* parent = nullptr);

    TPrintPreviewModel& Model() { return m_model; }
    const TPrintPreviewModel& Model() const { return m_model; }

    // The control's colour, behind the sheets; their shadows are half as bright.
    void SetColor(const QColor& color);
    // Drawn on the pages that print, numbered over them.
    void SetDecoration(TPageDecoration decoration);

    // The cell of page i, in the coordinates of the sheets' area (scrolls with it).
    QRect CellRect(int i) const;
    QWidget* Sheets() const { return m_sheets; }

signals:
    // The mouse moved over page's cell (of size cell) to pos, in that cell's pixels.
    void imageMouseMove(int page, const QSize& cell, const QPoint& pos,
                        Qt::KeyboardModifiers modifiers);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class TSheets;
    void Arranged();

    TPrintPreviewModel m_model;
    QWidget* m_sheets = nullptr; // a TSheets
    TPageDecoration m_decoration;
    std::vector<int> m_numbers; // page number on print per page, 0 for pages not printed
    int m_printedTotal = 0;

    friend class TSheets;
};

} // namespace varrow
