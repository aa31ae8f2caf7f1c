#include "PreviewPages.h"

#include "measure/MeasureUnits.h"

#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace varrow {

namespace {

// A rectangle filled with the brush and outlined with the pen, right and bottom exclusive.
void Rectangle(QPainter& p, const QRect& r, const QColor& pen, const QColor& brush) {
    if (r.isEmpty()) return;
    p.fillRect(r, brush);
    p.setPen(QPen(pen, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

bool AllWhite(const QImage& image) {
    const int bytes = image.width() * image.depth() / 8;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        // Compare the row with itself shifted by one byte: all equal and the first 0xFF.
        if (row[0] != 0xFF || std::memcmp(row, row + 1, size_t(bytes - 1)) != 0) return false;
    }
    return true;
}

// Holds arrangement back for the duration of a filling, also when it raises.
struct TUpdateScope {
    TPrintPreviewModel& Model;
    explicit TUpdateScope(TPrintPreviewModel& m) : Model(m) { Model.BeginUpdate(); }
    ~TUpdateScope() { Model.EndUpdate(); }
    TUpdateScope(const TUpdateScope&) = delete;
    TUpdateScope& operator=(const TUpdateScope&) = delete;
};

} // namespace

// --- TPrinterPage ---

void TPrinterPage::SetPicture(const QImage& map, const QRectF& source, const QRect& area,
                              TStretch mode) {
    m_picture = TPagePicture(map, source,
                             area.intersected(QRect(0, 0, Metrics.HorzRes, Metrics.VertRes)), mode);
    m_blank = m_picture.IsNull() ? 1 : -1;
    m_thumbnail = QImage();
}

void TPrinterPage::ClearPicture() {
    m_picture = TPagePicture();
    m_blank = 1;
    m_thumbnail = QImage();
}

void TPrinterPage::RefreshMetrics(const TPrinterMetrics& m) {
    Metrics = m;
    if (m_picture.IsNull()) return;
    const QRect before = m_picture.Area();
    m_picture.Crop(QRect(0, 0, m.HorzRes, m.VertRes));
    if (m_picture.Area() == before) return;
    if (m_picture.IsNull()) {
        ClearPicture();
        return;
    }
    m_blank = -1;
    m_thumbnail = QImage();
}

void TPrinterPage::Layout(const QRect& cell) {
    const int w = cell.width(), h = cell.height();
    const double aspect = Metrics.Aspect;
    int pw = 0, ph = 0;
    if (w > 0 && aspect > 0) {
        if (double(h) / w >= aspect) {
            pw = Percent(w, 93);
            ph = Round(pw * aspect);
        } else {
            ph = Percent(h, 93);
            pw = Round(ph / aspect);
        }
    }
    PaperRect =
        QRect(0, 0, pw, ph)
            .translated(cell.left() + Trunc((w - pw) / 2.0), cell.top() + Trunc((h - ph) / 2.0));
    const double sx = Metrics.PhysicalWidth > 0 ? double(pw) / Metrics.PhysicalWidth : 0.0;
    const double sy = Metrics.PhysicalHeight > 0 ? double(ph) / Metrics.PhysicalHeight : 0.0;
    const int left = PaperRect.left() + Round(Metrics.PhysicalOffsetX * sx);
    const int top = PaperRect.top() + Round(Metrics.PhysicalOffsetY * sy);
    ImageRect =
        Ltrb(left, top, left + Round(Metrics.HorzRes * sx), top + Round(Metrics.VertRes * sy));
}

void TPrinterPage::Draw(QPainter& painter, const QRect& cell, const TPageDecoration& decoration,
                        int pageNumber, int pageTotal) {
    Layout(cell);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    Rectangle(painter, cell, BackgroundColor, BackgroundColor);
    Rectangle(painter, PaperRect, Qt::black, Qt::white);
    Rectangle(painter, ImageRect, QColor(220, 220, 220), Qt::white);
    const QRect& p = PaperRect;
    const int right = p.left() + p.width(), bottom = p.top() + p.height();
    Rectangle(painter, Ltrb(right, p.top() + 5, right + 5, bottom + 5), ShadowColor, ShadowColor);
    Rectangle(painter, Ltrb(p.left() + 5, bottom, right + 1, bottom + 5), ShadowColor, ShadowColor);
    if (!ImageRect.isEmpty() && !m_picture.IsNull())
        painter.drawImage(ImageRect.topLeft(), Thumbnail(ImageRect.size()));
    if (decoration && !ImageRect.isEmpty() && Metrics.HorzRes > 0 && Metrics.VertRes > 0) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setClipRect(ImageRect);
        painter.translate(ImageRect.topLeft());
        painter.scale(double(ImageRect.width()) / Metrics.HorzRes,
                      double(ImageRect.height()) / Metrics.VertRes);
        decoration(painter, *this, pageNumber, pageTotal);
    }
    painter.restore();
}

// The page bitmap shrunk to the preview's size once, not at every paint.
const QImage& TPrinterPage::Thumbnail(const QSize& size) const {
    if (m_thumbnail.size() == size) return m_thumbnail;
    m_thumbnail = QImage(size, QImage::Format_RGB32);
    m_thumbnail.fill(Qt::white);
    const double sx = double(size.width()) / std::max(1, Metrics.HorzRes);
    const double sy = double(size.height()) / std::max(1, Metrics.VertRes);
    const QRect area = m_picture.Area();
    const QRect target =
        Ltrb(Round(area.left() * sx), Round(area.top() * sy), Round((area.right() + 1) * sx),
             Round((area.bottom() + 1) * sy));
    // Keep a thin strip of content visible instead of letting it round away.
    const QRect shown(target.topLeft(), target.size().expandedTo(QSize(1, 1)));
    // Averaging all of a page's millions of pixels for a sheet of a hundred pixels would make
    // the first paint of 31 pages take seconds: 4 × 4 samples a preview pixel look the same.
    const QSize samples = shown.size() * 4;
    if (area.width() > samples.width() && area.height() > samples.height()) {
        const QImage sampled = m_picture.Sample(samples);
        StretchImage(sampled, QRectF(sampled.rect()), m_thumbnail, shown, TStretch::Smooth);
    } else {
        const QImage content = m_picture.Render();
        StretchImage(content, QRectF(content.rect()), m_thumbnail, shown, TStretch::Smooth);
    }
    return m_thumbnail;
}

bool TPrinterPage::IsBlank() const {
    // Made band by band, and only until a band is not white: that is mostly the first.
    if (m_blank < 0)
        m_blank = m_picture.ForEachBand([](const TPageBand& band) { return AllWhite(band.Image); });
    return m_blank == 1;
}

// --- TPageList ---

TPrinterPage& TPageList::Add() {
    m_pages.push_back(std::make_unique<TPrinterPage>());
    return *m_pages.back();
}

void TPageList::Delete(int i) {
    if (i >= 0 && i < Count()) m_pages.erase(m_pages.begin() + i);
}

// --- TPrintPreviewModel: pages and arrangement ---

TPrintPreviewModel::TPrintPreviewModel() {
    SetCount(3);
}

void TPrintPreviewModel::AddPage() {
    m_pages.Add().RefreshMetrics(m_metrics);
    UpdatePages();
}

void TPrintPreviewModel::DeletePage(int i) {
    m_pages.Delete(i);
    UpdatePages();
}

void TPrintPreviewModel::ClearPages() {
    m_pages.Clear();
    UpdatePages();
}

void TPrintPreviewModel::SetCount(int count) {
    count = std::max(0, count);
    if (count == Count()) return;
    BeginUpdate();
    while (Count() < count)
        AddPage();
    while (Count() > count)
        DeletePage(Count() - 1);
    EndUpdate();
}

void TPrintPreviewModel::SetColumns(int columns) {
    columns = std::max(1, columns);
    if (columns == m_columns) return;
    m_columns = columns;
    UpdatePages();
}

void TPrintPreviewModel::SetAutoArrange(bool on) {
    if (on == m_autoArrange) return;
    m_autoArrange = on;
    if (on) UpdatePages();
}

void TPrintPreviewModel::EndUpdate() {
    if (--m_updateDepth <= 0) {
        m_updateDepth = 0;
        UpdatePages();
    }
}

void TPrintPreviewModel::UpdatePages() {
    if (m_updateDepth == 0) ArrangePages();
}

void TPrintPreviewModel::SetViewSize(int width, int height) {
    if (width == m_viewWidth && height == m_viewHeight) return;
    m_viewWidth = width;
    m_viewHeight = height;
    if (m_autoArrange) UpdatePages();
}

void TPrintPreviewModel::ArrangePages() {
    const int cw = m_viewWidth / m_columns;
    // A sheet taller than the view would have to be scrolled to be seen whole: its cell keeps
    // to the view's height, and the sheet is centred in it.
    int ch = Round(cw * m_metrics.Aspect);
    if (m_viewHeight > 0) ch = std::min(ch, m_viewHeight);
    m_cells.clear();
    m_cells.reserve(size_t(Count()));
    for (int i = 0; i < Count(); ++i) {
        TPrinterPage& page = m_pages[i];
        page.RefreshMetrics(m_metrics);
        page.Title = QStringLiteral("Page: %1").arg(i + 1);
        const int column = i % m_columns, row = i / m_columns;
        m_cells.emplace_back(column * cw, row * ch, cw, ch);
        page.Layout(QRect(0, 0, cw, ch));
    }
    if (OnArranged) OnArranged();
}

int TPrintPreviewModel::ContentHeight() const {
    return m_cells.empty() ? 0 : m_cells.back().top() + m_cells.back().height();
}

int TPrintPreviewModel::CellAt(const QPoint& p) const {
    if (m_cells.empty() || m_cells.front().width() <= 0 || m_cells.front().height() <= 0 ||
        p.x() < 0 || p.y() < 0)
        return -1;
    const int column = p.x() / m_cells.front().width(), row = p.y() / m_cells.front().height();
    const int i = row * m_columns + column;
    return column < m_columns && i < Count() ? i : -1;
}

void TPrintPreviewModel::SetScreenPpi(double x, double y) {
    if (x > 0) m_screenPpiX = x;
    if (y > 0) m_screenPpiY = y;
}

QPointF TPrintPreviewModel::PrinterToScreen() const {
    return varrow::PrinterToScreen(m_metrics, m_screenPpiX, m_screenPpiY);
}

int TPrintPreviewModel::InfoBandPixels() const {
    return m_infoBandInches > 0 ? Round(m_infoBandInches * m_metrics.LogPixelsY) : 0;
}

QSize TPrintPreviewModel::MapArea() const {
    return {m_metrics.HorzRes, std::max(0, m_metrics.VertRes - InfoBandPixels())};
}

// --- Fillings ---

// The map printed at printed (printer pixels) is cut into pages of the map area, row by
// row; page i + j · Columns + first gets the piece (i, j) until page last is done.
void TPrintPreviewModel::FillTiled(const QImage& image, const QSize& printed, int first, int last,
                                   TStretch mode, const TSourceOf& sourceOf) {
    const TUpdateScope scope(*this);
    ClearPages();
    const QSize area = MapArea();
    if (area.isEmpty() || printed.isEmpty()) return;
    const double cols = std::ceil(double(printed.width()) / area.width());
    const double rows = std::ceil(double(printed.height()) / area.height());
    if (cols * rows > MaxPages)
        throw EPrintError(
            QStringLiteral("The map would take %1 pages at this scale; at most %2 can be "
                           "printed. Choose a smaller scale or a smaller map.")
                .arg(cols * rows, 0, 'f', 0)
                .arg(MaxPages)
                .toStdString());
    SetCount(static_cast<int>(cols * rows));
    SetColumns(static_cast<int>(cols));
    const QRect whole(QPoint(0, 0), printed);
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            const QRect target =
                QRect(i * area.width(), j * area.height(), area.width(), area.height())
                    .intersected(whole);
            const int g = i + j * m_columns + first;
            const QRectF source = sourceOf(i, j, target).intersected(QRectF(image.rect()));
            if (g >= 0 && g < Count() && !target.isEmpty() && !source.isEmpty())
                m_pages[g].SetPicture(image, source, target.translated(-target.topLeft()), mode);
            if (g >= last) return;
        }
    }
}

void TPrintPreviewModel::FillActualSize(const QImage& image, int first, int last) {
    const QPointF px = PrinterToScreen();
    const QRect printed = ImageToPrinterRect(image.width(), image.height(), px);
    const QSize area = MapArea();
    const QRect piece = PageToImageRect(area.width(), area.height(), px);
    m_printerPerMapPixel = px.x();
    FillTiled(image, printed.size(), first, last, TStretch::Plain, [&](int i, int j, const QRect&) {
        return QRectF(piece.translated(i * piece.width(), j * piece.height()));
    });
}

void TPrintPreviewModel::FillScaled(const QImage& image, double factor) {
    // The map stretched by factor and then printed at actual size, done in one smooth step
    // from the map itself: the stretched map is never made, it could be 100 times as large.
    const int w = Trunc(image.width() * factor), h = Trunc(image.height() * factor);
    const QPointF px = PrinterToScreen();
    const QRect printed = ImageToPrinterRect(w, h, px);
    const QSize area = MapArea();
    const QRect piece = PageToImageRect(area.width(), area.height(), px);
    const double kx = w > 0 ? double(image.width()) / w : 0.0;
    const double ky = h > 0 ? double(image.height()) / h : 0.0;
    m_printerPerMapPixel = px.x() * factor;
    FillTiled(image, printed.size(), 0, 30, TStretch::Smooth, [&](int i, int j, const QRect&) {
        const QRectF s = QRectF(piece.translated(i * piece.width(), j * piece.height()))
                             .intersected(QRectF(0, 0, w, h));
        return QRectF(s.left() * kx, s.top() * ky, s.width() * kx, s.height() * ky);
    });
}

void TPrintPreviewModel::FillMapScale(const QImage& image, double metresPerPixel, double ratio) {
    const double fx =
        ratio > 0 ? metresPerPixel * InchesPerMetre * m_metrics.LogPixelsX / ratio : 0.0;
    const double fy =
        ratio > 0 ? metresPerPixel * InchesPerMetre * m_metrics.LogPixelsY / ratio : 0.0;
    const double pw = image.width() * fx, ph = image.height() * fy;
    if (pw > 1e9 || ph > 1e9)
        throw EPrintError("The map would take far too many pages at this scale. Choose a smaller "
                          "scale or a smaller map.");
    const QSize printed(Round(pw), Round(ph));
    const double kx = printed.width() > 0 ? double(image.width()) / printed.width() : 0.0;
    const double ky = printed.height() > 0 ? double(image.height()) / printed.height() : 0.0;
    m_printerPerMapPixel = fx;
    FillTiled(image, printed, 0, 30, TStretch::Smooth, [&](int, int, const QRect& t) {
        return QRectF(t.left() * kx, t.top() * ky, t.width() * kx, t.height() * ky);
    });
}

void TPrintPreviewModel::FillFitToPage(const QImage& image) {
    const TUpdateScope scope(*this);
    ClearPages();
    SetCount(1);
    SetColumns(1);
    const QSize area = MapArea();
    const int w = image.width(), h = image.height();
    // The smaller ratio, so that the whole map is always on the page.
    m_fitScale =
        w > 0 && h > 0 ? std::min(double(area.width()) / w, double(area.height()) / h) : 0.0;
    m_printerPerMapPixel = m_fitScale;
    const QRect target(0, 0, Trunc(w * m_fitScale), Trunc(h * m_fitScale));
    if (!target.isEmpty()) {
        m_pages[0].RefreshMetrics(m_metrics);
        m_pages[0].SetPicture(image, QRectF(image.rect()), target, TStretch::Smooth);
    }
}

// --- Printing ---

std::vector<int> TPrintPreviewModel::PrintedPages(bool skipBlank) const {
    std::vector<int> printed;
    for (int i = 0; i < Count(); ++i)
        if (!skipBlank || !m_pages[i].IsBlank()) printed.push_back(i);
    return printed;
}

bool TPrintPreviewModel::PrintPages(QPagedPaintDevice& device, bool skipBlank,
                                    const TPrintProgress& progress,
                                    const TPageDecoration& decoration,
                                    const std::function<void()>& abortJob) {
    const std::vector<int> printed = PrintedPages(skipBlank);
    if (printed.empty()) throw EPrintError("Every page is blank: there is nothing to print.");
    const int total = static_cast<int>(printed.size());
    // Each band of a picture reaches a sixteenth of an inch into the next, which is drawn over
    // it: a viewer that smooths the edges of images would otherwise show a faint line where
    // two bands meet, at any size down to 16 pixels an inch. And each starts a JPEG block
    // above its own rows, left out by a clip: the PDF writer makes a JPEG of it, whose first
    // row takes its colours from no row above and would not be the whole page's.
    const int below = std::max(1, Ceil(device.logicalDpiY() / 16.0));
    QPainter painter;
    int number = 0;
    for (int i = 0; i < Count(); ++i) {
        if (progress && !progress(Round(100.0 * i / Count()))) {
            if (painter.isActive() && abortJob) abortJob();
            return false;
        }
        if (skipBlank && m_pages[i].IsBlank()) continue;
        if (!painter.isActive()) {
            if (!painter.begin(&device)) throw EPrintError("The printer could not be started.");
        } else if (!device.newPage()) {
            throw EPrintError("The printer did not take the next page.");
        }
        const TPrinterPage& page = m_pages[i];
        page.Picture().ForEachBand(
            [&](const TPageBand& band) {
                const QRect drawn(band.At, band.Image.size());
                if (drawn.top() < band.Own.top())
                    painter.setClipRect(Ltrb(drawn.left(), band.Own.top(), drawn.right() + 1,
                                             drawn.bottom() + 1));
                painter.drawImage(band.At, band.Image);
                return true;
            },
            TPagePicture::JpegBlock, below);
        painter.setClipping(false);
        if (decoration) decoration(painter, page, ++number, total);
    }
    if (!painter.end()) throw EPrintError("The printer could not finish the print.");
    return true;
}

} // namespace varrow
