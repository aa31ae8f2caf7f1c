// Printed PDF files, read back with poppler's pdfinfo, pdfimages and pdftotext.

#include "PrintTestSupport.h"
#include "print/PrintOutput.h"
#include "support/ErrorOf.h"
#include "support/WriteFailures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace varrow {
namespace {

using test::ErrorOf;
using test::MapPattern;

// Output of a poppler tool; fails the test when the tool is not installed.
QString Poppler(const QString& tool, const QStringList& args) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty()) {
        ADD_FAILURE() << tool.toStdString() << " is not on PATH: install the package poppler-utils";
        return {};
    }
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000)) << tool.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << tool.toStdString() << ": "
                               << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString InfoField(const QString& pdf, const QString& field) {
    const QRegularExpression re(QStringLiteral("^%1:\\s*(.*)$").arg(field),
                                QRegularExpression::MultilineOption);
    return re.match(Poppler(QStringLiteral("pdfinfo"), {pdf})).captured(1).trimmed();
}

struct TImageEntry {
    int Page, Width, Height, XPpi, YPpi;
    int Bands = 1;
    qint64 Largest = 0; // pixels of the largest band
};

// The pictures of the pages, one a page, from the bands they are printed in. A band reaches a
// sixteenth of an inch into the next, which is drawn over it, and but for the first starts 16
// rows above its own: the picture is the bands' height less those rows.
std::vector<TImageEntry> Images(const QString& pdf) {
    std::vector<TImageEntry> images;
    const QStringList lines =
        Poppler(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split('\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() < 14) continue;
        const TImageEntry band{f[0].toInt(), f[3].toInt(), f[4].toInt(), f[12].toInt(),
                               f[13].toInt(), 1, qint64(f[3].toInt()) * f[4].toInt()};
        if (images.empty() || images.back().Page != band.Page) {
            images.push_back(band);
            continue;
        }
        TImageEntry& picture = images.back();
        EXPECT_EQ(band.Width, picture.Width) << "bands of page " << band.Page;
        picture.Height += band.Height - (band.YPpi + 15) / 16 - TPagePicture::JpegBlock;
        picture.Largest = std::max(picture.Largest, band.Largest);
        ++picture.Bands;
    }
    return images;
}

using test::InfoAt4Metres;

QByteArray Contents(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The uncompressed 8-bit RGB TIFF that pdftocairo writes, its strips one after another (a
// PNG takes it seconds a page); null when the file is not one.
QImage ReadTiff(const QString& file) {
    const QByteArray d = Contents(file);
    const bool little = d.startsWith("II");
    auto number = [&](qsizetype at, int bytes) {
        quint32 v = 0;
        for (int i = 0; i < bytes && at + bytes <= d.size(); ++i)
            v |= quint32(uchar(d[at + (little ? i : bytes - 1 - i)])) << (8 * i);
        return v;
    };
    const quint32 ifd = number(4, 4);
    std::map<quint32, quint32> tags; // the first value of each
    for (quint32 i = 0, n = number(ifd, 2); i < n; ++i) {
        const qsizetype e = ifd + 2 + 12 * i;
        const int bytes = number(e + 2, 2) == 3 ? 2 : 4;
        tags[number(e, 2)] = number(e + 4, 4) * bytes > 4 ? number(number(e + 8, 4), bytes)
                                                           : number(e + 8, bytes);
    }
    const int w = int(tags[256]), h = int(tags[257]);
    const qsizetype first = tags[273];
    if (tags[259] != 1 || tags[277] != 3 || first + qsizetype(w) * h * 3 > d.size()) return {};
    return QImage(reinterpret_cast<const uchar*>(d.constData() + first), w, h, w * 3,
                  QImage::Format_RGB888)
        .convertToFormat(QImage::Format_RGB32);
}

// A page of pdf drawn at dpi by poppler's cairo renderer, which places images on the pixels
// they cover.
QImage Rendered(const QString& pdf, int page, int dpi) {
    const QString base = pdf + QStringLiteral("-page%1-%2").arg(page).arg(dpi);
    const QString n = QString::number(page);
    Poppler(QStringLiteral("pdftocairo"),
            {QStringLiteral("-tiff"), QStringLiteral("-tiffcompression"), QStringLiteral("none"),
             QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), n,
             QStringLiteral("-l"), n, QStringLiteral("-singlefile"), pdf, base});
    const QImage image = ReadTiff(base + QStringLiteral(".tif"));
    EXPECT_FALSE(image.isNull()) << "pdftocairo made no TIFF of 8-bit RGB";
    return image;
}

int Apart(QRgb p, QRgb q) {
    return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                     std::abs(qBlue(p) - qBlue(q))});
}

// The largest difference of a colour in row y of two pictures of Format_RGB32.
int RowApart(const QImage& a, const QImage& b, int y) {
    const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    int worst = 0;
    for (int x = 0; x < std::min(a.width(), b.width()); ++x)
        worst = std::max(worst, Apart(p[x], q[x]));
    return worst;
}

// Pages built as PrintMapToPdf builds them, kept for a look at their pictures.
struct TBuiltPages {
    TPrintPreviewModel Pages;
    TPrintLayout Print{Pages};
    TBuiltPages(const QImage& map, const TPrintSettings& s) {
        SetPdfSheet(Pages, s);
        Print.Settings() = s;
        Print.SetMapSource(
            {[&map]() -> const QImage& { return map; }, [] { return InfoAt4Metres(); }});
        Print.BuildPrintPages();
    }
};

class PdfOutput : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString File(const char* name) const { return dir.filePath(QLatin1String(name)); }
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QLocale::setDefault(QLocale::c());
    }
};

TEST_F(PdfOutput, AThreeByThreeMapAt1To24000MeasuresItsGroundLengthOnPaper) {
    TPrintSettings s;
    s.Method = TPrintMethod::MapScale;
    s.Ratio = 24000;
    const QString pdf = File("scale.pdf");
    ASSERT_TRUE(PrintMapToPdf(MapPattern(600, 600), InfoAt4Metres(), s, pdf));

    EXPECT_EQ(InfoField(pdf, QStringLiteral("Pages")), QStringLiteral("1"));
    EXPECT_TRUE(
        InfoField(pdf, QStringLiteral("Page size")).startsWith(QStringLiteral("612 x 792 pts")));
    const auto images = Images(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].XPpi, 300);
    EXPECT_EQ(images[0].YPpi, 300);
    // 2,400 m at 1:24,000 is 0.1 m: 3.937 inches.
    EXPECT_NEAR(images[0].Width / double(images[0].XPpi), 3.937, 0.01);
    EXPECT_NEAR(images[0].Height / double(images[0].YPpi), 3.937, 0.01);

    const QString text = Poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    for (const char* part :
         {"1:24,000", "UTM zone 13, NAD 83", "lower left 307,200 E 3,584,000 N",
          "upper right 309,600 E 3,586,400 N", "Topo", "page 1 of 1", "km", "mi"})
        EXPECT_TRUE(text.contains(QLatin1String(part))) << part << " in:\n" << text.toStdString();
}

TEST_F(PdfOutput, ATiledMapIsOneDocumentWithEveryPageInOrder) {
    TPrintSettings s; // actual size, letter, 300 per inch: pages of 2400 × 3150 printer pixels
    s.Info = false;
    const QString pdf = File("tiled.pdf");
    ASSERT_TRUE(PrintMapToPdf(MapPattern(2000, 1000), InfoAt4Metres(), s, pdf));
    EXPECT_EQ(InfoField(pdf, QStringLiteral("Pages")), QStringLiteral("3"));
    const auto images = Images(pdf);
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0].Page, 1);
    EXPECT_EQ(images[0].Width, 2400);
    EXPECT_EQ(images[1].Width, 2400);
    EXPECT_EQ(images[2].Page, 3);
    EXPECT_EQ(images[2].Width, 6250 - 4800);
    EXPECT_EQ(images[2].Height, 3125);
    EXPECT_TRUE(
        Poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).trimmed().isEmpty());
}

TEST_F(PdfOutput, PaperOrientationAndResolutionAreThoseAsked) {
    TPrintSettings s;
    s.Method = TPrintMethod::FitToPage;
    s.Paper = QPageSize(QPageSize::A4);
    s.Orientation = QPageLayout::Landscape;
    s.Dpi = 150;
    const QString pdf = File("a4.pdf");
    ASSERT_TRUE(PrintMapToPdf(MapPattern(400, 200), InfoAt4Metres(), s, pdf));
    EXPECT_TRUE(
        InfoField(pdf, QStringLiteral("Page size")).startsWith(QStringLiteral("842 x 595 pts")));
    const auto images = Images(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].XPpi, 150);
    // The whole map on the page: A4 less a quarter inch around is 1678 pixels wide at 150.
    EXPECT_EQ(images[0].Width, 1678);
    EXPECT_EQ(images[0].Height, 839);
}

// Before pages were printed in bands each went into the PDF whole, as one JPEG image.
TEST_F(PdfOutput, PagesPrintedInBandsLookAsTheyDidPrintedWhole) {
    TPrintSettings s; // actual size at 300 per inch on a sheet of 4 × 8 inches: 1050 × 2250
    s.Info = false;
    s.Paper = QPageSize(QSizeF(4, 8), QPageSize::Inch);
    // Gentle colours with an edge here and there, as maps have: 336 × 720 fill a page.
    QImage map(436, 720, QImage::Format_RGB32);
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x)
            map.setPixel(x, y, qRgb((x / 7) % 200 + 20, (y / 5) % 200 + 30, ((x ^ y) & 63) + 100));
    TBuiltPages built(map, s);
    const QString banded = File("banded.pdf"), whole = File("whole.pdf");
    ASSERT_TRUE(PrintPagesToPdf(built.Pages, {}, PageLayoutOf(s), s.Dpi, banded));
    {
        QPdfWriter writer(whole);
        writer.setResolution(s.Dpi);
        writer.setPageLayout(PageLayoutOf(s));
        QPainter painter(&writer);
        for (int i = 0; i < 2; ++i) {
            if (i > 0) writer.newPage();
            painter.drawImage(QPoint(0, 0), built.Pages.Pages(i).Render());
        }
    }
    const auto images = Images(banded);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].Width, 1050);
    EXPECT_EQ(images[0].Height, 2250);
    EXPECT_EQ(images[0].Bands, 3);
    EXPECT_LE(images[0].Largest, TPagePicture::BandPixels);

    // A band's JPEG has the blocks the whole page had, and its first row, which takes its
    // colours from no row above, is left out: every pixel is as it was.
    for (int page = 1; page <= 2; ++page) {
        const QImage a = Rendered(banded, page, s.Dpi), b = Rendered(whole, page, s.Dpi);
        ASSERT_EQ(a.size(), QSize(1200, 2400));
        ASSERT_EQ(b.size(), a.size());
        for (int y = 0; y < a.height(); ++y)
            EXPECT_EQ(RowApart(a, b, y), 0) << "page " << page << " row " << y;
    }
}

TEST_F(PdfOutput, BandsMeetWithoutALineBetweenThemAtAnySize) {
    QImage map(768, 1008, QImage::Format_RGB32); // one letter page at actual size
    map.fill(qRgb(40, 90, 160));
    TPrintSettings s;
    s.Info = false;
    const QString pdf = File("even.pdf");
    ASSERT_TRUE(PrintMapToPdf(map, InfoAt4Metres(), s, pdf));
    ASSERT_GT(Images(pdf)[0].Bands, 1);
    for (const int dpi : {97, 150, 41}) {
        const QImage page = Rendered(pdf, 1, dpi);
        // Inside the picture, a quarter inch from the sheet's edges and 8 × 10.5 inches large.
        const QRect inside(Ceil(dpi * 0.25) + 1, Ceil(dpi * 0.25) + 1, Trunc(dpi * 8.0) - 2,
                           Trunc(dpi * 10.5) - 2);
        int worst = 0, row = -1;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const int d = Apart(page.pixel(x, y), map.pixel(0, 0));
                if (d > worst) worst = d, row = y;
            }
        EXPECT_LE(worst, 3) << "at " << dpi << " per inch, row " << row;
    }
}

TEST_F(PdfOutput, CancellingLeavesTheFileThatWasThere) {
    const QString pdf = File("kept.pdf");
    QFile old(pdf);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("what was there");
    old.close();
    TPrintSettings s;
    s.Method = TPrintMethod::ManualScale;
    s.Factor = 2; // four pages
    int calls = 0;
    EXPECT_FALSE(PrintMapToPdf(MapPattern(600, 600), InfoAt4Metres(), s, pdf,
                               [&](int) { return ++calls < 3; }));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(Contents(pdf), QByteArray("what was there"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.pdf")});

    // A failure halfway, here out of the progress, leaves it as well.
    calls = 0;
    EXPECT_THROW(PrintMapToPdf(MapPattern(600, 600), InfoAt4Metres(), s, pdf,
                               [&](int) {
                                   if (++calls == 3) throw EPrintError("out of paper");
                                   return true;
                               }),
                 EPrintError);
    EXPECT_EQ(Contents(pdf), QByteArray("what was there"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.pdf")});
}

TEST_F(PdfOutput, FailuresSayWhyAndLeaveNoPartialFile) {
    TPrintSettings s;
    const QString folder = test::UncreatableFolder(dir.path());
    ASSERT_FALSE(folder.isEmpty());
    const std::string cannot = ErrorOf([&] {
        PrintMapToPdf(MapPattern(60, 60), InfoAt4Metres(), s,
                      QDir(folder).filePath(QStringLiteral("a.pdf")));
    });
    EXPECT_EQ(cannot.rfind("Cannot write ", 0), 0u) << cannot;

    // A map of noise makes a file far larger than the disk has room for.
    QImage noise(800, 800, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        QRandomGenerator(7 + y).fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)),
                                          noise.width());
    const QString pdf = File("full.pdf");
    std::string full;
    {
        test::FileSizeLimit limit(64 * 1024);
        full = ErrorOf([&] { PrintMapToPdf(noise, InfoAt4Metres(), s, pdf); });
    }
    EXPECT_EQ(full.rfind("Cannot write " + QDir::toNativeSeparators(pdf).toStdString(), 0), 0u)
        << full;
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("full*")}, QDir::Files).isEmpty());

    const std::string blank = ErrorOf([&] {
        QImage white(60, 60, QImage::Format_RGB32);
        white.fill(Qt::white);
        PrintMapToPdf(white, InfoAt4Metres(), s, pdf);
    });
    EXPECT_NE(blank.find("nothing to print"), std::string::npos) << blank;
}

} // namespace
} // namespace varrow
