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
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
};

std::vector<TImageEntry> Images(const QString& pdf) {
    std::vector<TImageEntry> images;
    const QStringList lines =
        Poppler(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split('\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() < 14) continue;
        images.push_back({f[0].toInt(), f[3].toInt(), f[4].toInt(), f[12].toInt(), f[13].toInt()});
    }
    return images;
}

using test::InfoAt4Metres;

QByteArray Contents(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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
