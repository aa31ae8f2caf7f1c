#pragma once

// The pages of a print: one picture of the printable area per sheet, filled from the map in
// one of four ways, laid out as small sheets side by side for the preview, and printed.
// The preview widget only shows this; varrow-render and the tests use it without windows.

#include "PagePicture.h"
#include "PrinterMetrics.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace varrow {

class TPrinterPage;

// Called with a painter in page pixels (the origin at the printable area's top-left corner)
// to draw what goes on a page besides its picture; pageNumber counts from 1 over the pages
// that are printed, and equals pageTotal on the last one.
using TPageDecoration =
    std::function<void(QPainter& painter, const TPrinterPage& page, int pageNumber, int pageTotal)>;

// Told the percentage done before each page; answers false to cancel.
using TPrintProgress = std::function<bool(int percent)>;

class TPrinterPage {
public:
    QRect PaperRect; // where the sheet is drawn inside its preview cell
    QRect ImageRect; // where the printable area is drawn inside the cell
    TPrinterMetrics Metrics;
    QColor ShadowColor = QColor(64, 64, 64);
    QColor BackgroundColor = QColor(128, 128, 128);
    QString Title;

    // The page's bitmap is HorzRes × VertRes, white but for its picture, which a filling
    // gives it; a page that carries nothing has none.
    const TPagePicture& Picture() const { return m_picture; }
    // The picture's pixels, made now (Format_RGB888; null when there is no picture).
    QImage Render() const { return m_picture.Render(); }
    // source of map stretched onto area (page pixels, clipped to the printable area).
    void SetPicture(const QImage& map, const QRectF& source, const QRect& area, TStretch mode);
    void ClearPicture();

    // Takes the printer's metrics; the picture outside the new printable area is dropped.
    void RefreshMetrics(const TPrinterMetrics& m);
    // PaperRect and ImageRect for a cell (0, 0, w, h): the sheet takes 93 % of the limiting
    // side, centred.
    void Layout(const QRect& cell);
    // Layout, the sheet picture, the page's picture in ImageRect and, when given, the
    // decoration scaled into it.
    void Draw(QPainter& painter, const QRect& cell, const TPageDecoration& decoration = {},
              int pageNumber = 0, int pageTotal = 0);
    // Every pixel of the bitmap is white (remembered until the picture changes).
    bool IsBlank() const;

private:
    const QImage& Thumbnail(const QSize& size) const;

    TPagePicture m_picture;
    mutable int m_blank = -1; // unknown
    mutable QImage m_thumbnail;
};

// An owning list of pages.
class TPageList {
public:
    int Count() const { return static_cast<int>(m_pages.size()); }
    TPrinterPage& operator[](int i) { return *m_pages[size_t(i)]; }
    const TPrinterPage& operator[](int i) const { return *m_pages[size_t(i)]; }
    TPrinterPage& Add();
    void Delete(int i);
    void Clear() { m_pages.clear(); }

private:
    std::vector<std::unique_ptr<TPrinterPage>> m_pages;
};

class TPrintPreviewModel {
public:
    // Maps that need more pages than this are refused with a message.
    static constexpr int MaxPages = 100000;

    TPrintPreviewModel(); // three pages in three columns

    // Pages.
    int Count() const { return m_pages.Count(); }
    void SetCount(int count);
    TPrinterPage& Pages(int i) { return m_pages[i]; }
    const TPrinterPage& Pages(int i) const { return m_pages[i]; }
    void AddPage();
    void DeletePage(int i);
    void ClearPages();

    int Columns() const { return m_columns; }
    void SetColumns(int columns);
    bool AutoArrange() const { return m_autoArrange; }
    void SetAutoArrange(bool on);
    double FitScale() const { return m_fitScale; }
    QColor Color() const { return m_color; }
    void SetColor(const QColor& c) { m_color = c; }

    // Arrangement is held back while updates are open; closing the last one arranges.
    void BeginUpdate() { ++m_updateDepth; }
    void EndUpdate();
    int UpdateDepth() const { return m_updateDepth; }
    void UpdatePages();
    void ArrangePages();

    // The view: its width decides the cells, its height (when not 0) how tall they may be;
    // each arrangement is reported to OnArranged.
    void SetViewSize(int width, int height = 0);
    int ViewWidth() const { return m_viewWidth; }
    const std::vector<QRect>& Cells() const { return m_cells; }
    int ContentHeight() const;
    int CellAt(const QPoint& p) const; // -1 when there is none
    std::function<void()> OnArranged;

    // The printer and the screen. New metrics count from the next arrangement or filling.
    void SetMetrics(const TPrinterMetrics& m) { m_metrics = m; }
    const TPrinterMetrics& Metrics() const { return m_metrics; }
    void SetScreenPpi(double x, double y);
    QPointF PrinterToScreen() const;

    // Room kept white at the bottom of every page for the map information, in inches.
    void SetInfoBand(double inches) { m_infoBandInches = inches; }
    int InfoBandPixels() const;
    QSize MapArea() const; // the part of the printable area the map may take

    // Fillings. Every filling discards all pages first; tiled fillings fill the pages
    // first..last at most, the others are left white and hold no picture. The pages read
    // image whenever they are drawn, checked for blankness or printed: it must outlive them
    // or the next filling.
    void FillActualSize(const QImage& image, int first = 0, int last = 30);
    void FillFitToPage(const QImage& image);
    void FillScaled(const QImage& image, double factor);
    // One map pixel of metresPerPixel on the ground covers metresPerPixel / ratio metres of
    // paper, straight in printer pixels.
    void FillMapScale(const QImage& image, double metresPerPixel, double ratio);
    // Printer pixels one map pixel takes in the last filling (x).
    double PrinterPixelsPerMapPixel() const { return m_printerPerMapPixel; }

    // The pages that PrintPages prints, in order.
    std::vector<int> PrintedPages(bool skipBlank) const;
    // Prints the pages as one document on device, each page's picture unscaled at the top-left
    // corner of the printable area, in bands made from the map one at a time. False when
    // progress cancelled; abortJob then runs while the job is still open. Raises EPrintError
    // when the device fails.
    bool PrintPages(QPagedPaintDevice& device, bool skipBlank, const TPrintProgress& progress,
                    const TPageDecoration& decoration = {},
                    const std::function<void()>& abortJob = {});

private:
    using TSourceOf = std::function<QRectF(int column, int row, const QRect& target)>;
    void FillTiled(const QImage& image, const QSize& printed, int first, int last, TStretch mode,
                   const TSourceOf& sourceOf);

    TPageList m_pages;
    int m_columns = 3;
    bool m_autoArrange = false;
    double m_fitScale = 0;
    double m_printerPerMapPixel = 0;
    QColor m_color = QColor(128, 128, 128);
    int m_updateDepth = 0;
    int m_viewWidth = 0;
    int m_viewHeight = 0;
    std::vector<QRect> m_cells;
    TPrinterMetrics m_metrics;
    double m_screenPpiX = 96, m_screenPpiY = 96;
    double m_infoBandInches = 0;
};

} // namespace varrow
