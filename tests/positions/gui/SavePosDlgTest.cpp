// The saved positions dialog driven through its buttons, keys and mouse, on a map session of
// the real tile service.

#include "positions/gui/SavePosDlg.h"

#include "positions/SavedPositions.h"
#include "support/ModalMessages.h"
#include "support/TileServerSuite.h"
#include "workspace/MapSession.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace varrow {
namespace {

TTileLocation At(const char* name, int tileX, int tileY, int zone = 14) {
    TTileLocation r;
    r.Name = QString::fromUtf8(name);
    r.Scale = 16.0;
    r.Tile = {tileX, tileY};
    r.Offset = {20, 40};
    r.Zone = zone;
    return r;
}

// Runs action, answering the question it asks with button; returns the question.
QString Answer(QMessageBox::StandardButton button, const std::function<void()>& action) {
    QString asked;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !asked.isEmpty()) return;
        asked = box->text() + (box->icon() == QMessageBox::Warning ? " (warning)" : "");
        QMetaObject::invokeMethod(box->button(button), "click", Qt::QueuedConnection);
    });
    poll.start(10);
    action();
    return asked;
}

class SavePosDlg : public test::TileServerHomeSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(serverStarted) << server->error().toStdString();
        session = std::make_unique<TMapSession>(server->baseUrl());
        positions = std::make_unique<TPositionList>(home->filePath("SavePosDlgTest.xml"));
        positions->OnLoaded = [this] { ++loadedBefore; };
        dialog = std::make_unique<TSavePosDlg>(*session, *positions);
        grid = dialog->findChild<QTableView*>(QStringLiteral("PosGrid"));
        ASSERT_NE(grid, nullptr);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void TearDown() override {
        dialog.reset();
        session->Abort();
    }
    QToolButton* Button(const char* name) {
        return dialog->findChild<QToolButton*>(QString::fromLatin1(name));
    }
    void Fill(std::initializer_list<TTileLocation> entries) {
        positions->Items().assign(entries);
        dialog->PositionsLoaded();
    }
    QStringList Names() const {
        QStringList names;
        for (const TTileLocation& r : positions->Items())
            names << r.Name;
        return names;
    }
    // What a mouse sends: a click, then the second press as a double click.
    void DoubleClick(QPoint at) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }
    QPoint Cell(int row, int column) const {
        return grid->visualRect(grid->model()->index(row - 1, column)).center();
    }

    std::unique_ptr<TMapSession> session;
    std::unique_ptr<TPositionList> positions;
    std::unique_ptr<TSavePosDlg> dialog;
    QTableView* grid = nullptr;
    int loadedBefore = 0;
};

TEST_F(SavePosDlg, OnAnEmptyListOnlyInsertDoesAnything) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save Positions"));
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->RowCount(), 11);
    EXPECT_EQ(dialog->CurrentRow(), 1);
    const std::pair<const char*, const char*> hints[] = {
        {"UseCurrentBtn", "Insert Current Location"},
        {"FetchBtn", "Fetch Selected Position"},
        {"MoveUpBtn", "Move Position Up"},
        {"MoveDownBtn", "Move Position Down"},
        {"DeleteBtn", "Delete Position"}};
    for (const auto& [name, hint] : hints) {
        EXPECT_EQ(Button(name)->toolTip(), QString::fromLatin1(hint));
        EXPECT_EQ(Button(name)->size(), QSize(25, 25));
        EXPECT_EQ(Button(name)->isEnabled(), name == hints[0].first) << name;
    }
    QSignalSpy loads(session.get(), &TMapSession::loadStarting);
    const QString asked = Answer(QMessageBox::Yes, [&] {
        dialog->FetchBtnClick();
        dialog->MoveUpBtnClick();
        dialog->MoveDownBtnClick();
        dialog->DeleteBtnClick();
    });
    EXPECT_EQ(asked, QString()) << "nothing to delete, nothing asked";
    // The blank first row is current, but typing there stores nothing.
    grid->setFocus();
    QTest::keyClicks(grid, QStringLiteral("Dallas"));
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(positions->Items().empty());
    EXPECT_EQ(loads.count(), 0);
}

TEST_F(SavePosDlg, RowsGrowWithInsertionsAndLoadsButNotOnDeletion) {
    session->View().Scale = 16.0;
    session->View().Northing = 3627200.0;
    for (int i = 1; i <= 11; ++i) {
        session->View().Easting = 704000.0 + i * 3200.0;
        QTest::mouseClick(Button("UseCurrentBtn"), Qt::LeftButton);
        EXPECT_EQ(dialog->RowCount(), i <= 10 ? 11 : 12) << i;
        EXPECT_EQ(dialog->CellText(1, i), session->CaptureView().Name);
        EXPECT_EQ(dialog->CurrentRow(), 1) << "the current cell stays";
    }
    EXPECT_EQ(dialog->CellText(1, 1), QStringLiteral("Location-221-1133"));
    dialog->SelectRow(11);
    Answer(QMessageBox::Yes, [&] { dialog->DeleteBtnClick(); });
    EXPECT_EQ(positions->Items().size(), 10u);
    EXPECT_EQ(dialog->RowCount(), 12);

    TPosList fifteen;
    for (int i = 0; i < 15; ++i)
        fifteen.push_back(At("Loaded", 220 + i, 1133));
    ASSERT_TRUE(WritePositionFile(fifteen, positions->FileName()));
    positions->Load();
    EXPECT_EQ(loadedBefore, 1) << "the owner's own OnLoaded still runs";
    EXPECT_EQ(dialog->RowCount(), 16);
    dialog->SelectRow(15);
    EXPECT_EQ(dialog->CurrentRow(), 15);
    EXPECT_EQ(dialog->CellText(0, 15), QStringLiteral("15"));
    EXPECT_EQ(dialog->CellText(1, 16), QString());
}

TEST_F(SavePosDlg, MovesCarryTheSelectionAndStopAtTheEnds) {
    Fill({At("A", 220, 1133), At("B", 221, 1133), At("C", 222, 1133)});
    dialog->MoveUpBtnClick();
    EXPECT_EQ(Names(), (QStringList{"A", "B", "C"}));
    QTest::mouseClick(Button("MoveDownBtn"), Qt::LeftButton);
    EXPECT_EQ(Names(), (QStringList{"B", "A", "C"}));
    EXPECT_EQ(dialog->CurrentRow(), 2);
    // A click anywhere on an entry's row makes its name current; a blank row cannot be.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, Cell(3, 3));
    EXPECT_EQ(grid->currentIndex().column(), 1);
    EXPECT_EQ(dialog->CurrentRow(), 3);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, Cell(6, 1));
    EXPECT_EQ(dialog->CurrentRow(), 3);
    EXPECT_FALSE(dialog->PosGridSelectCell(2, 1));
    dialog->MoveDownBtnClick();
    QTest::mouseClick(Button("MoveUpBtn"), Qt::LeftButton);
    EXPECT_EQ(Names(), (QStringList{"B", "C", "A"}));
    EXPECT_EQ(dialog->CurrentRow(), 2);
    for (int row = 1; row <= 3; ++row)
        EXPECT_EQ(dialog->CellText(0, row), QString::number(row));

    EXPECT_EQ(Answer(QMessageBox::No, [&] { dialog->DeleteBtnClick(); }),
              QStringLiteral("About To Delete A Position. Are You Sure? (warning)"));
    EXPECT_EQ(Names().size(), 3);
    dialog->SelectRow(3);
    Answer(QMessageBox::Yes, [&] { QTest::mouseClick(Button("DeleteBtn"), Qt::LeftButton); });
    EXPECT_EQ(Names(), (QStringList{"B", "C"}));
    EXPECT_EQ(dialog->CurrentRow(), 3) << "on the blank row the last entry left";
    EXPECT_FALSE(Button("DeleteBtn")->isEnabled());
    EXPECT_EQ(Answer(QMessageBox::Yes, [&] { dialog->DeleteBtnClick(); }), QString());
    EXPECT_EQ(Names(), (QStringList{"B", "C"}));
}

TEST_F(SavePosDlg, DoubleClickFetchesTheRowAsFetchDoes) {
    Fill({At("First", 220, 1133), At("Second", 230, 1140), At("Nowhere", 220, 1133, 0)});
    QSignalSpy loads(session.get(), &TMapSession::loadStarting);
    DoubleClick(Cell(2, 2));
    ASSERT_EQ(loads.count(), 1);
    EXPECT_EQ(session->View().Easting, (200.0 * 230 + 20) * 16);
    EXPECT_EQ(session->View().Northing, (200.0 * 1140 + 40) * 16);
    EXPECT_EQ(session->View().Scale, 16.0);
    dialog->SelectRow(1);
    QTest::mouseClick(Button("FetchBtn"), Qt::LeftButton);
    EXPECT_EQ(session->View().Easting, (200.0 * 220 + 20) * 16);
    DoubleClick(Cell(5, 1));
    EXPECT_EQ(loads.count(), 2) << "a blank row fetches nothing";
    EXPECT_EQ(Names(), (QStringList{"First", "Second", "Nowhere"}));

    // A damaged entry has no place to show, and fetching it says why.
    EXPECT_EQ(dialog->CellText(2, 3), QString());
    dialog->SelectRow(3);
    EXPECT_TRUE(test::MessageDuring([&] { dialog->FetchBtnClick(); }).contains("1 to 60"));
}

TEST_F(SavePosDlg, NamesAreStoredAsTypedAndCoordinatesFollowTheUsersFormat) {
    Fill({At("Dallas", 220, 1133)});
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_F2);
    auto* edit = grid->findChild<QLineEdit*>(QStringLiteral("NameEdit"));
    ASSERT_NE(edit, nullptr);
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, QStringLiteral(" North"));
    EXPECT_EQ(Names(), QStringList{"Dallas North"}) << "before the edit ends";
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(Names(), QStringList{"Dallas"});
    dialog->PosGridSetEditText(1, 1, QString(300, QLatin1Char('x')));
    EXPECT_EQ(positions->Items()[0].Name.size(), 255);
    EXPECT_EQ(dialog->PosGridGetEditText(1, 1).size(), 255);
    dialog->PosGridSetEditText(1, 2, QStringLiteral("blank row"));
    EXPECT_EQ(positions->Items().size(), 1u);

    TGeoPosition corner;
    ASSERT_TRUE(PositionCorner(positions->Items()[0], corner));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(dialog->CellText(2, 1), QLocale().toString(corner.Longitude, 'f', 3));
    EXPECT_TRUE(dialog->CellText(3, 1).contains(QLatin1Char(',')));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(dialog->CellText(3, 1), QString::number(corner.Latitude, 'f', 3));
}

TEST_F(SavePosDlg, CloseAndEscapeHideItAndHelpOpensTopicTwoAboveIt) {
    std::pair<int, QWidget*> help{0, nullptr};
    dialog->OnHelp = [&](int topic, QWidget* over) { help = {topic, over}; };
    Fill({At("Dallas", 220, 1133), At("Fort Worth", 210, 1134), At("Waco", 222, 1110)});
    if (!qEnvironmentVariableIsEmpty("VARROW_SHOTS"))
        dialog->grab().save(qEnvironmentVariable("VARROW_SHOTS") + "/SavePosDlg.png");
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("HelpBtn")), Qt::LeftButton);
    EXPECT_EQ(help, std::make_pair(2, static_cast<QWidget*>(dialog.get())));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    dialog->show();
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("CancelBtn")), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Names().size(), 3);
}

} // namespace
} // namespace varrow
