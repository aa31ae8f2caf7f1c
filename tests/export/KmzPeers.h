#pragma once

// What other programs make of a KMZ archive: Info-ZIP's unzip, Python's zipfile and GDAL.

#include "export/KmlExport.h"

#include <QPointF>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace varrow::test {

struct TToolRun {
    int Code = -1;
    QString Out;
};

inline TToolRun RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {-1, program + QStringLiteral(" did not run")};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

inline QByteArray Unzipped(const QString& archive, const QString& entry) {
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, entry});
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// GDAL's corners, "Upper Left (-96.9, 32.8)" and so on, as longitude and latitude.
inline QPointF GdalCorner(const QString& info, const char* corner) {
    const QRegularExpression pattern(QString::fromLatin1(corner) +
                                     QStringLiteral(R"(\s*\(\s*([-0-9.]+),\s*([-0-9.]+)\))"));
    const QRegularExpressionMatch m = pattern.match(info);
    return m.hasMatch() ? QPointF(m.captured(1).toDouble(), m.captured(2).toDouble())
                        : QPointF(1e9, 1e9);
}

// unzip -t and python3 -m zipfile -t pass, and GDAL opens the overlay, of size pixels, with
// the corners of box. GDAL goes by the extension: an archive named .kml is not its to read.
inline void ExpectPeersRead(const QString& archive, QSize size, const TOverlayInfo& box) {
    for (const auto& [program, args] :
         {std::pair{QStringLiteral("unzip"), QStringList{"-t", archive}},
          std::pair{QStringLiteral("python3"), QStringList{"-m", "zipfile", "-t", archive}}}) {
        const TToolRun run = RunTool(program, args);
        EXPECT_EQ(run.Code, 0) << program.toStdString() << ": " << run.Out.toStdString();
    }
    if (archive.endsWith(QStringLiteral(".kml"))) return;
    const TToolRun gdal = RunTool(QStringLiteral("gdalinfo"), {archive});
    ASSERT_EQ(gdal.Code, 0) << gdal.Out.toStdString();
    EXPECT_TRUE(
        gdal.Out.contains(QStringLiteral("Size is %1, %2").arg(size.width()).arg(size.height())))
        << gdal.Out.toStdString();
    const QPointF upperLeft = GdalCorner(gdal.Out, "Upper Left");
    const QPointF lowerRight = GdalCorner(gdal.Out, "Lower Right");
    EXPECT_NEAR(upperLeft.x(), box.West, 1e-6) << gdal.Out.toStdString();
    EXPECT_NEAR(upperLeft.y(), box.North, 1e-6);
    EXPECT_NEAR(lowerRight.x(), box.East, 1e-6);
    EXPECT_NEAR(lowerRight.y(), box.South, 1e-6);
}

} // namespace varrow::test
