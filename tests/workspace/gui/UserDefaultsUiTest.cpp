// The connection speed selector set from "Varrow.ini" and written back, as
// the main window's first activation and "Save User Defaults" use it.

#include "workspace/gui/UserDefaultsUi.h"

#include "support/ModalMessages.h"
#include "support/WriteFailures.h"
#include "workspace/MapSession.h"
#include "workspace/Navigation.h"
#include "workspace/UserDefaults.h"

#include <QButtonGroup>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace varrow {
namespace {

// The "Connection Speed" selector as the main window builds it.
struct TSpeedSelector {
    QWidget box;
    QButtonGroup group{&box};
    TSpeedSelector() {
        group.addButton(new QRadioButton(QStringLiteral("Broadband"), &box), 0);
        group.addButton(new QRadioButton(QStringLiteral("Dialup"), &box), 1);
        group.button(0)->setChecked(true);
    }
};

class UserDefaultsUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("VARROW_HOME", home.path().toUtf8());
        // Nothing is fetched here; the address only has to be well formed.
        session = std::make_unique<TMapSession>(QStringLiteral("http://127.0.0.1:9"));
        navigator = std::make_unique<TNavigator>(*session);
    }
    void TearDown() override { qunsetenv("VARROW_HOME"); }

    void PutIni(const QByteArray& data) {
        QFile f(UserDefaultsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    // A new run: a fresh selector at its design default, then the defaults.
    int Start(TSpeedSelector& selector) { return LoadUserDefaults(selector.group, *navigator); }

    QTemporaryDir home;
    std::unique_ptr<TMapSession> session;
    std::unique_ptr<TNavigator> navigator;
};

TEST_F(UserDefaultsUiTest, TheStoredSpeedIsSelectedAtStart) {
    struct Case {
        const char* file; // nullptr: no file at all
        int item;
        TConnectionSpeed speed;
    };
    const Case cases[] = {
        {nullptr, 0, TConnectionSpeed::Broadband},
        {"[Settings]\nConnectionSpeed=1\n", 1, TConnectionSpeed::Dialup},
        {"[Settings]\nConnectionSpeed=7\n", 1, TConnectionSpeed::Dialup},
        {"[Settings]\nConnectionSpeed=abc\n", 0, TConnectionSpeed::Broadband},
        // None selected: loads go one tile at a time, as with "Dialup".
        {"[Settings]\nConnectionSpeed=-1\n", -1, TConnectionSpeed::Dialup},
        {"[Settings]\nConnectionSpeed=-5\n", -1, TConnectionSpeed::Dialup},
    };
    for (const Case& c : cases) {
        QFile::remove(UserDefaultsPath());
        if (c.file != nullptr) PutIni(c.file);
        TSpeedSelector selector;
        session->View().Speed = TConnectionSpeed::Broadband;
        EXPECT_EQ(Start(selector), c.item) << (c.file ? c.file : "no file");
        EXPECT_EQ(selector.group.checkedId(), c.item) << (c.file ? c.file : "no file");
        EXPECT_EQ(session->View().Speed, c.speed) << (c.file ? c.file : "no file");
        EXPECT_EQ(session->View().MaxWorkers(), c.item == 0 ? 14 : 1);
    }
}

TEST_F(UserDefaultsUiTest, ASavedSelectionComesBackAtTheNextStartAndAnUnsavedOneDoesNot) {
    {
        TSpeedSelector selector;
        Start(selector);
        selector.group.button(1)->setChecked(true);
        EXPECT_TRUE(SaveUserDefaults(&selector.box, selector.group));
    }
    EXPECT_EQ(ReadConnectionSpeed(), 1);
    {
        TSpeedSelector selector;
        EXPECT_EQ(Start(selector), 1);
        EXPECT_TRUE(selector.group.button(1)->isChecked());
        selector.group.button(0)->setChecked(true); // changed but not saved
    }
    TSpeedSelector selector;
    EXPECT_EQ(Start(selector), 1);
}

TEST_F(UserDefaultsUiTest, AnUnwritableFolderIsReportedAndTheSelectionStays) {
    const QString folder = test::UncreatableFolder(home.path());
    ASSERT_FALSE(folder.isEmpty());
    qputenv("VARROW_HOME", folder.toUtf8());

    TSpeedSelector selector;
    selector.group.button(1)->setChecked(true);
    const QString shown =
        test::MessageDuring([&] { EXPECT_FALSE(SaveUserDefaults(&selector.box, selector.group)); });
    // The file, and the system's reason.
    EXPECT_EQ(shown, QStringLiteral("Unable to write to %1/Varrow.ini: Not a directory").arg(folder));
    EXPECT_TRUE(selector.group.button(1)->isChecked());
}

} // namespace
} // namespace varrow
