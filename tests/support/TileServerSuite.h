#pragma once

// Fixtures for test suites whose tests share one running varrow-tiles, started before the
// first test and stopped after the last.

#include "support/TileServerProcess.h"
#include "support/TileServiceThread.h"

#include <QByteArray>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace varrow::test {

// The service as a child process, with numbers shown in the US English layout. A failed start
// is in serverStarted, for each test to assert on.
class TileServerSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        server = std::make_unique<TileServerProcess>();
        serverStarted = server->start();
    }
    static void TearDownTestSuite() { server.reset(); }

    static inline std::unique_ptr<TileServerProcess> server;
    static inline bool serverStarted = false;
};

// The same, with an empty VARROW_HOME of the suite's own, so that nothing the tests save
// lands in the user's folder.
class TileServerHomeSuite : public TileServerSuite {
protected:
    static void SetUpTestSuite() {
        home = std::make_unique<QTemporaryDir>();
        qputenv("VARROW_HOME", home->path().toUtf8());
        TileServerSuite::SetUpTestSuite();
    }
    static void TearDownTestSuite() {
        TileServerSuite::TearDownTestSuite();
        home.reset();
    }

    static inline std::unique_ptr<QTemporaryDir> home;
};

// The service on a thread of its own (see TileServiceThread), for suites that run the tile
// loader; a failed start fails the suite.
class TileServiceThreadSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Server = new TileServiceThread();
        if (!Server->started()) FAIL() << Server->error().toStdString();
    }
    static void TearDownTestSuite() {
        delete Server;
        Server = nullptr;
    }

    static inline TileServiceThread* Server = nullptr;
};

} // namespace varrow::test
