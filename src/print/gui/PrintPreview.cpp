#include "PrintPreview.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

namespace varrow {

class TPrintPreview::TSheets : public QWidget {
public:
    explicit TSheets(TPrintPreview& preview) : QWidget(nullptr), m_preview(preview) {
        setObjectName(QStringLiteral("PreviewSheets"));
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        TPrintPreviewModel& model = m_preview.m_model;
        QPainter painter(this);
        const QColor color = model.Color();
        painter.fillRect(event->rect(), color);
        const QColor shadow(Percent(color.red(), 50), Percent(color.green(), 50),
                            Percent(color.blue(), 50));
        const std::vector<QRect>& cells = model.Cells();
        for (int i = 0; i < static_cast<int>(cells.size()) && i < model.Count(); ++i) {
            const QRect& cell = cells[size_t(i)];
            if (cell.isEmpty() || !cell.intersects(event->rect())) continue;
            TPrinterPage& page = model.Pages(i);
            page.BackgroundColor = color;
            page.ShadowColor = shadow;
            const int number = i < static_cast<int>(m_preview.m_numbers.size())
                                   ? m_preview.m_numbers[size_t(i)]
                                   : 0;
            painter.save();
            painter.translate(cell.topLeft());
            painter.setClipRect(QRect(QPoint(0, 0), cell.size()));
            page.Draw(painter, QRect(QPoint(0, 0), cell.size()),
                      number > 0 ? m_preview.m_decoration : TPageDecoration(), number,
                      m_preview.m_printedTotal);
            painter.restore();
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint p = event->position().toPoint();
        const int i = m_preview.m_model.CellAt(p);
        if (i < 0) return;
        const QRect cell = m_preview.CellRect(i);
        emit m_preview.imageMouseMove(i, cell.size(), p - cell.topLeft(), event->modifiers());
    }

private:
    TPrintPreview& m_preview;
};

TPrintPreview::TPrintPreview(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("PrintPreview"));
    m_sheets = new TSheets(*this);
    setWidget(m_sheets);
    setWidgetResizable(false);
    // A fixed scroll bar keeps the width the cells are made for from changing with them.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    m_model.OnArranged = [this] { Arranged(); };
}

void TPrintPreview::SetColor(const QColor& color) {
    m_model.SetColor(color);
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    viewport()->setPalette(p);
    viewport()->setAutoFillBackground(true);
    m_sheets->update();
}

void TPrintPreview::SetDecoration(TPageDecoration decoration) {
    m_decoration = std::move(decoration);
    Arranged();
}

QRect TPrintPreview::CellRect(int i) const {
    const std::vector<QRect>& cells = m_model.Cells();
    return i >= 0 && i < static_cast<int>(cells.size()) ? cells[size_t(i)] : QRect();
}

void TPrintPreview::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    m_model.SetViewSize(viewport()->width(), viewport()->height());
}

void TPrintPreview::Arranged() {
    m_numbers.assign(size_t(m_model.Count()), 0);
    m_printedTotal = 0;
    if (m_decoration) {
        const std::vector<int> printed = m_model.PrintedPages(true);
        for (size_t k = 0; k < printed.size(); ++k)
            m_numbers[size_t(printed[k])] = static_cast<int>(k) + 1;
        m_printedTotal = static_cast<int>(printed.size());
    }
    m_sheets->resize(std::max(1, m_model.ViewWidth()), std::max(1, m_model.ContentHeight()));
    m_sheets->update();
}

} // namespace varrow
