// "Export KML/KMZ file..." and "Locate In Google Earth" on a map loaded from the real tile
// service; Google Earth is a stand-in script that records what it was given.

#include "export/gui/ExportActions.h"

#include "export/GoogleEarthAPI.h"
#include "export/KmlExport.h"
#include "export/KmzPeers.h"
#include "support/ImageCompare.h"
#include "support/ModalMessages.h"
#include "support/TileServerSuite.h"
#include "workspace/MapSession.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace varrow {
namespace {

QByteArray Contents(const QString& fileName) {
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Answers each modal window the action opens, once, until the action returns.
void Answering(const std::function<void(QWidget*)>& answer, const std::function<void()>& action) {
    QTimer poll;
    QList<QWidget*> answered;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || answered.contains(modal)) return;
        answered << modal;
        answer(modal);
    });
    poll.start(20);
    action();
}

class ExportActions : public test::TileServerHomeSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(serverStarted) << server->error().toStdString();
        ASSERT_TRUE(dir.isValid());
        session = std::make_unique<TMapSession>(server->baseUrl());
        // Dallas, 3 × 3 tiles at 16 m per pixel, with the grid drawn into the map.
        session->View().Zone = 14;
        session->View().Easting = 704000.0;
        session->View().Northing = 3627200.0;
        session->View().Scale = 16.0;
        session->SetGridOptions({true, TGridType::Minutes7_5});
        session->LoadCurrentView(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return session->LoadComplete(); }, 60000));
        path = dir.filePath(QStringLiteral("Dallas.kmz"));
        oldPath = qgetenv("PATH");
    }
    void TearDown() override { qputenv("PATH", oldPath); }

    // A google-earth-pro on PATH that keeps its arguments and the file it was handed.
    void StandIn(const QByteArray& firstLine = "#!/bin/sh") {
        const QString script = dir.filePath(QStringLiteral("google-earth-pro"));
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(firstLine + "\nprintf '%s\\n' \"$@\" > \"$0.args\"\ncp \"$1\" \"$0.kml\"\n");
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
        qputenv("PATH", dir.path().toUtf8() + ":" + oldPath);
    }

    QTemporaryDir dir;
    std::unique_ptr<TMapSession> session;
    QString path;
    QByteArray oldPath;
};

TEST_F(ExportActions, SaveDialogWritesTheMapAsDrawnAndAsksBeforeReplacing) {
    QStringList seen;
    auto answer = [&](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            seen << dialog->selectedFiles().value(0) << dialog->nameFilters().join(';');
            // Typed, as a user would: selectFile changes folders only later.
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen << box->text();
            QMetaObject::invokeMethod(box->button(QMessageBox::Yes), "click", Qt::QueuedConnection);
        }
    };
    // Not warped: the overlay is the mosaic itself.
    Answering(answer, [&] { ExportKMLKMZfile1Click(nullptr, *session, false); });
    ASSERT_EQ(seen.size(), 2);
    EXPECT_TRUE(seen[0].endsWith(QStringLiteral("/Varrow.kmz"))) << seen[0].toStdString();
    EXPECT_EQ(seen[1], QStringLiteral("kml/kmz (*.kml *.kmz);All Files (*)"));
    const QByteArray first = Contents(path);
    ASSERT_FALSE(first.isEmpty());
    seen.clear();
    Answering(answer, [&] { ExportKMLKMZfile1Click(nullptr, *session, false); });
    ASSERT_EQ(seen.size(), 3);
    EXPECT_TRUE(seen[0].startsWith(dir.path())) << "opens where the last export went";
    EXPECT_TRUE(seen[2].contains(QStringLiteral("already exists"))) << seen[2].toStdString();

    // The image is the mosaic, grid included; the box is the loaded view's.
    const QImage jpeg = QImage::fromData(test::Unzipped(path, QStringLiteral("files/Dallas.jpg")));
    ASSERT_EQ(jpeg.size(), session->Mosaic().size());
    EXPECT_LT(test::MeanError(jpeg.convertToFormat(QImage::Format_RGB32), session->Mosaic()), 4.0);
    EXPECT_GT(test::GridPixels(session->Mosaic()), 500);
    const TOverlayInfo box = ComputeOverlayBounds(session->LoadedView(), QSize(600, 600));
    test::ExpectPeersRead(path, QSize(600, 600), box);
    EXPECT_TRUE(test::Unzipped(path, QStringLiteral("doc.kml"))
                    .contains("<west>" + KmlNumber(box.West).toLatin1() + "</west>"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ExportActions, AFailedExportSaysWhyAndRestoresTheCursor) {
    const QString message = test::MessageDuring(
        [&] { EXPECT_FALSE(ExportKmz(nullptr, *session, dir.filePath("none/Dallas.kmz"))); });
    EXPECT_TRUE(message.contains(QStringLiteral("Dallas.kmz"))) << message.toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ExportActions, GoogleEarthGetsTheCameraOverTheCentreOfTheLoadedMap) {
    qputenv("PATH", dir.path().toUtf8()); // nothing there yet
    EXPECT_EQ(test::MessageDuring([&] { GEBtnClick(nullptr, *session); }),
              QStringLiteral("Google Earth Not Installed"));

    StandIn();
    TGoogleEarthPro earth;
    EXPECT_TRUE(earth.IsGoogleEarthInstalled());
    EXPECT_EQ(test::MessageDuring([&] { GEBtnClick(nullptr, *session, earth); }), QString());
    const QString recorded = dir.filePath(QStringLiteral("google-earth-pro"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(recorded + ".kml"); }, 10000));
    EXPECT_EQ(Contents(recorded + ".args"), earth.LastFile().toUtf8() + "\n");
    const QByteArray kml = Contents(recorded + ".kml");
    QFile::remove(earth.LastFile()); // Google Earth's to keep, and there is none
    const TGeoPosition centre = session->LoadedView().MosaicCentre();
    for (const QByteArray& expected : QList<QByteArray>{
             "<range>9600</range>", "<tilt>0</tilt>", "<heading>0</heading>",
             "<altitude>0</altitude>", "<altitudeMode>relativeToGround</altitudeMode>",
             "<longitude>" + KmlNumber(centre.Longitude).toLatin1() + "</longitude>",
             "<latitude>" + KmlNumber(centre.Latitude).toLatin1() + "</latitude>"})
        EXPECT_TRUE(kml.contains(expected)) << expected.toStdString() << "\n" << kml.toStdString();

    // The live view moved on, but the camera still describes the map shown.
    session->View().Easting += 50000.0;
    EXPECT_EQ(LocateCamera(session->LoadedView(), session->Mosaic().size()).Longitude,
              centre.Longitude);

    StandIn("#!/nonexistent/interpreter");
    const QString failure = test::MessageDuring([&] { GEBtnClick(nullptr, *session); });
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Cannot start Google Earth")))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("No such file"))) << failure.toStdString();
}

} // namespace
} // namespace varrow
