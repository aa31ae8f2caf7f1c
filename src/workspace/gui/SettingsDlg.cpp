#include "SettingsDlg.h"

#include "controls/gui/CentreOnScreen.h"
#include "workspace/GridOverlay.h"
#include "workspace/MapSession.h"
#include "workspace/UserDefaults.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>

namespace varrow {

namespace {

const char* const ServiceVariable = "VARROW_TILE_SERVICE";

} // namespace

TSettingsDlg::TSettingsDlg(TMapSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("SettingsDlg"));
    setWindowTitle(tr("Settings"));
    setModal(true);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(BuildGridPage(), tr("Grid"));
    PageControl1->addTab(BuildTileServicePage(), tr("Tile Service"));

    CloseBtn = new QPushButton(tr("Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CloseBtn->setAutoDefault(false);
    // Escape ends the dialog the same way (QDialog rejects on it).
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CloseBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* TSettingsDlg::BuildGridPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("GridPage"));
    GridRadio = new QGroupBox(tr("Grid Type"), page);
    GridRadio->setObjectName(QStringLiteral("GridRadio"));
    GridButtons = new QButtonGroup(GridRadio);
    auto* grid = new QGridLayout(GridRadio);
    const QStringList captions = GridTypeCaptions();
    const int rows = (GridTypeCount + 1) / 2;
    for (int i = 0; i < GridTypeCount; ++i) {
        auto* radio = new QRadioButton(captions[i], GridRadio);
        radio->setObjectName(QStringLiteral("GridRadioItem%1").arg(i));
        GridButtons->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }
    GridButtons->button(static_cast<int>(TGridType::Minutes7_5))->setChecked(true);
    // The grid type in force is the one the dialog shows; the next load draws it.
    connect(GridButtons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked) return;
        TGridOptions grid = m_session.GridOptions();
        grid.Type = static_cast<TGridType>(id);
        m_session.SetGridOptions(grid);
    });

    Button1 = new QPushButton(tr("Apply"), page);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TSettingsDlg::Button1Click);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(GridRadio);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(Button1);
    layout->addLayout(row);
    layout->addStretch(1);
    return page;
}

QWidget* TSettingsDlg::BuildTileServicePage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TileServicePage"));
    auto* intro =
        new QLabel(tr("Address of the map-tile service\n(empty for the built-in one):"), page);
    TileServiceEdit = new QLineEdit(page);
    TileServiceEdit->setObjectName(QStringLiteral("TileServiceEdit"));
    TileServiceEdit->setPlaceholderText(QString::fromLatin1(DefaultTileService));
    TileServiceEdit->setMinimumWidth(TileServiceEdit->fontMetrics().horizontalAdvance(
                                         QStringLiteral("http://tiles.example.org:8600/maps")) +
                                     16);
    connect(TileServiceEdit, &QLineEdit::returnPressed, this, [this] { SaveTileServiceClick(); });
    SaveTileServiceBtn = new QPushButton(tr("Save"), page);
    SaveTileServiceBtn->setObjectName(QStringLiteral("SaveTileServiceBtn"));
    SaveTileServiceBtn->setAutoDefault(false);
    connect(SaveTileServiceBtn, &QPushButton::clicked, this, [this] { SaveTileServiceClick(); });

    TileServiceInUseDis = new QLabel(page);
    TileServiceInUseDis->setObjectName(QStringLiteral("TileServiceInUseDis"));
    TileServiceInUseDis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TileServiceNoteDis = new QLabel(page);
    TileServiceNoteDis->setObjectName(QStringLiteral("TileServiceNoteDis"));
    TileServiceNoteDis->setWordWrap(true);

    auto* edit = new QHBoxLayout;
    edit->addWidget(TileServiceEdit, 1);
    edit->addWidget(SaveTileServiceBtn);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(intro);
    layout->addLayout(edit);
    layout->addWidget(TileServiceInUseDis);
    layout->addWidget(TileServiceNoteDis);
    layout->addStretch(1);
    ShowTileService();
    return page;
}

void TSettingsDlg::ShowTileService() {
    TileServiceEdit->setText(ReadTileServiceSetting());
    TileServiceInUseDis->setText(tr("In use: %1").arg(m_session.TileSourceName()));
    const QString forced = qEnvironmentVariable(ServiceVariable).trimmed();
    TileServiceNoteDis->setText(
        forced.isEmpty()
            ? QString()
            : tr("The environment variable %1 is set to %2 and takes the place of the address "
                 "saved here for as long as it is set.")
                  .arg(QString::fromLatin1(ServiceVariable), forced));
    TileServiceNoteDis->setVisible(!forced.isEmpty());
}

void TSettingsDlg::showEvent(QShowEvent* event) {
    // The file or the environment may have changed since the last time.
    ShowTileService();
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

int TSettingsDlg::GridType() const {
    return GridButtons->checkedId();
}

void TSettingsDlg::SetGridType(int item) {
    if (QAbstractButton* b = GridButtons->button(item)) b->setChecked(true);
}

int TSettingsDlg::Execute() {
    const int result = exec();
    Reload();
    return result;
}

void TSettingsDlg::Button1Click() {
    Reload();
}

void TSettingsDlg::Reload() {
    try {
        m_session.LoadCurrentView(false);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

bool TSettingsDlg::SaveTileServiceClick() {
    QString text = TileServiceEdit->text().trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    const QString problem = text.isEmpty() ? QString() : TileServiceProblem(text);
    if (!problem.isEmpty()) {
        ShowError(problem);
        return false;
    }
    try {
        WriteTileServiceSetting(text);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
        return false;
    }
    try {
        m_session.SetTileService(ResolveTileService(text));
    } catch (const std::exception& e) {
        // The environment's address, which takes the place of the typed one.
        ShowError(QString::fromUtf8(e.what()));
        return false;
    }
    ShowTileService();
    return true;
}

void TSettingsDlg::ShowError(const QString& message) {
    QMessageBox::critical(this, windowTitle(), message);
}

} // namespace varrow
