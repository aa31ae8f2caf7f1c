#pragma once

// The main window driven as a user would, by its controls' names, against a
// real varrow-tiles: the fixture the window tests share.

#include "workspace/gui/MainWindow.h"
#include "controls/gui/ElapsedTimeDisplay.h"
#include "controls/gui/PageControl.h"
#include "geo/Georef.h"
#include "measure/gui/ImageEx.h"
#include "positions/PositionList.h"
#include "support/ImageCompare.h"
#include "support/TileServerSuite.h"
#include "tiles/NetLib.h"
#include "tiles/TileLoader.h"
#include "workspace/GridOverlay.h"
#include "workspace/IndexMaps.h"
#include "workspace/Readouts.h"
#include "workspace/UserDefaults.h"
#include "workspace/gui/HelpWindow.h"
#include "workspace/gui/IndexPage.h"
#include "workspace/gui/SettingsDlg.h"
#include "workspace/gui/TilePosDlg.h"
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <vector>

namespace varrow::test {

constexpr int LoadDeadlineMs = 60000; // a deadline for a broken load, not a timing check

class MainWindowTest : public TileServerHomeSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(serverStarted) << server->error().toStdString();
        Open(server->baseUrl());
    }

    // Opens a window; it starts on the "Index" page, and most tests go on
    // on the "Image Loader" page, where the map is.
    void Open(const QString& service) {
        form.reset();
        qputenv("VARROW_TILE_SERVICE", service.toUtf8());
        form = std::make_unique<TForm1>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        startPage = Find<TPageControl>("PageControl1")->currentIndex();
        ShowPage(TForm1::ImageLoaderPage);
    }
    void ShowPage(int page) {
        auto* pages = Find<TPageControl>("PageControl1");
        QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                          pages->tabBar()->tabRect(page).center());
        ASSERT_EQ(pages->currentIndex(), page);
    }

    template <class T> T* Find(const char* name) {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* name) { QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton); }
    void ClickRadio(const char* group, int item) {
        auto* radio =
            Find<QRadioButton>(QStringLiteral("%1Item%2").arg(group).arg(item).toLatin1());
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
    }
    QString Text(const char* name) { return Find<QLabel>(name)->text(); }
    double East() { return Find<QDoubleSpinBox>("EastSpin")->value(); }
    double North() { return Find<QDoubleSpinBox>("NorthSpin")->value(); }
    int Zone() { return Find<QSpinBox>("ZoneSpin")->value(); }
    TImageEx* Image() { return Find<TImageEx>("TerrainImage"); }

    bool WaitLoaded() {
        return QTest::qWaitFor(
            [this] { return form->Session().LoadComplete() && !form->Session().IsBusy(); },
            LoadDeadlineMs);
    }
    void LoadAndWait() {
        Click("LoadBtn");
        ASSERT_TRUE(WaitLoaded());
    }
    // Where the grid's colours are, as offsets into the picture.
    static std::vector<int> GridMask(const QImage& image) {
        std::vector<int> at;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                if (c == GridColourA.rgb() || c == GridColourB.rgb())
                    at.push_back(y * image.width() + x);
            }
        return at;
    }
    static int GridPixels(const QImage& image) { return test::GridPixels(image); }
    // Runs action, which opens a modal window; finish is done to that window
    // once it shows. Returns the window.
    static QWidget* WhileModal(const std::function<void()>& action,
                               const std::function<void(QWidget*)>& finish) {
        QWidget* shown = nullptr;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (shown == nullptr && QApplication::activeModalWidget() != nullptr) {
                shown = QApplication::activeModalWidget();
                finish(shown);
            }
        });
        poll.start(10);
        action();
        poll.stop();
        return shown;
    }

    std::unique_ptr<TForm1> form;
    int startPage = -1;
};

} // namespace varrow::test
