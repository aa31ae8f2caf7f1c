#include "SavePosDlg.h"

#include "controls/gui/ArrowIcon.h"
#include "controls/gui/CentreOnScreen.h"
#include "positions/SavedPositions.h"
#include "workspace/MapSession.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace varrow {

namespace {

constexpr int ColumnCount = 4;
constexpr int NameColumn = 1;
constexpr int MinEntryRows = 10; // the grid never shows fewer rows below its header
constexpr int ColumnWidths[ColumnCount] = {43, 123, 56, 46};
constexpr int RowHeight = 20;
constexpr int ToolButtonSize = 25;

QIcon InsertGlyph() {
    return DrawnIcon([](QPainter& p) {
        QPainterPath plus;
        plus.addRect(6.5, 1.5, 3, 13);
        plus.addRect(1.5, 6.5, 13, 3);
        plus.setFillRule(Qt::WindingFill);
        p.fillPath(plus, QColor(30, 130, 50));
    });
}

// A target: "go there".
QIcon FetchGlyph() {
    return DrawnIcon([](QPainter& p) {
        const QColor blue(30, 80, 170);
        p.setPen(QPen(blue, 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
        p.setPen(QPen(blue, 1.4));
        p.drawLine(QPointF(8, 0.5), QPointF(8, 4.5));
        p.drawLine(QPointF(8, 11.5), QPointF(8, 15.5));
        p.drawLine(QPointF(0.5, 8), QPointF(4.5, 8));
        p.drawLine(QPointF(11.5, 8), QPointF(15.5, 8));
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawEllipse(QPointF(8, 8), 1.8, 1.8);
    });
}

QIcon DeleteGlyph() {
    return DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(190, 30, 30), 2.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
        p.drawLine(QPointF(13, 3), QPointF(3, 13));
    });
}

QString FormatDegrees(double degrees) {
    return QLocale().toString(degrees, 'f', 3);
}

} // namespace

// --- The grid's content ---------------------------------------------------------------------

// Model row r shows list entry r; the header row is the view's own. Rows past the list's end
// are blank, and the row count is the dialog's to set, since it does not follow the list.
class TPosGridModel : public QAbstractTableModel {
public:
    TPosGridModel(TPosList& list, QObject* parent) : QAbstractTableModel(parent), m_list(list) {}

    bool HasEntry(int row) const { return row >= 0 && row < static_cast<int>(m_list.size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : m_rows;
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }

    QString Text(int column, int row) const {
        if (!HasEntry(row)) return QString();
        const TTileLocation& entry = m_list[static_cast<std::size_t>(row)];
        if (column == 0) return QString::number(row + 1);
        if (column == NameColumn) return entry.Name;
        // Afresh at every paint: an entry's place follows its fields, whoever changed them.
        TGeoPosition corner;
        if (!PositionCorner(entry, corner)) return QString();
        return FormatDegrees(column == 2 ? corner.Longitude : corner.Latitude);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return QVariant();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return Text(index.column(), index.row());
        case Qt::BackgroundRole:
            // The numbers' column is fixed, like the header.
            if (index.column() == 0) return QApplication::palette().button();
            return QVariant();
        default:
            return QVariant();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const Titles[ColumnCount] = {"#", "Description", "Long", "Lat"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < ColumnCount)
            return QString::fromLatin1(Titles[section]);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    // Only the name cell can be current; a blank row's name cell is current only when the
    // dialog puts it there (at the start, or after its entry was deleted).
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        if (index.column() != NameColumn) return Qt::ItemIsEnabled;
        if (!HasEntry(index.row())) return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || index.column() != NameColumn || !HasEntry(index.row()))
            return false;
        QString& name = m_list[static_cast<std::size_t>(index.row())].Name;
        const QString cut = CutPositionName(value.toString());
        if (name == cut) return true;
        name = cut;
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
        return true;
    }

    void SetRows(int rows) {
        if (rows > m_rows) {
            beginInsertRows(QModelIndex(), m_rows, rows - 1);
            m_rows = rows;
            endInsertRows();
        } else if (rows < m_rows) {
            beginRemoveRows(QModelIndex(), rows, m_rows - 1);
            m_rows = rows;
            endRemoveRows();
        }
    }

    void Refresh() {
        if (m_rows > 0) emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1));
    }

private:
    TPosList& m_list;
    int m_rows = MinEntryRows;
};

namespace {

// Keeps the current cell where it may be: a cell of an entry's row becomes that row's name
// cell, and blank rows are refused. Force is the dialog's way around the rule.
class TPosGridSelection : public QItemSelectionModel {
public:
    explicit TPosGridSelection(TPosGridModel* model) : QItemSelectionModel(model), m_grid(model) {}

    void setCurrentIndex(const QModelIndex& index,
                         QItemSelectionModel::SelectionFlags command) override {
        if (!index.isValid() || !m_grid->HasEntry(index.row())) return;
        QItemSelectionModel::setCurrentIndex(m_grid->index(index.row(), NameColumn), command);
    }
    void Force(int row) {
        QItemSelectionModel::setCurrentIndex(m_grid->index(row, NameColumn), ClearAndSelect);
    }

private:
    TPosGridModel* m_grid;
};

// The name editor writes every keystroke into the list, so the list always holds what the
// editor shows; Escape puts back the name the editing started from.
class TNameDelegate : public QStyledItemDelegate {
public:
    TNameDelegate(TPosGridModel* model, QObject* parent)
        : QStyledItemDelegate(parent), m_model(model) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(QStringLiteral("NameEdit"));
        edit->setMaxLength(MaxPositionNameLength);
        edit->setFrame(false);
        m_editing = index;
        m_original = index.data(Qt::EditRole).toString();
        connect(edit, &QLineEdit::textEdited, edit,
                [this, edit] { m_model->setData(m_editing, edit->text(), Qt::EditRole); });
        return edit;
    }
    // Our own writes come back as data changes; setting the same text again would throw the
    // cursor to the end while the user types in the middle.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* edit = static_cast<QLineEdit*>(editor);
        const QString text = index.data(Qt::EditRole).toString();
        if (edit->text() != text) edit->setText(text);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_editing.isValid())
            m_model->setData(m_editing, m_original, Qt::EditRole);
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TPosGridModel* m_model;
    mutable QPersistentModelIndex m_editing;
    mutable QString m_original;
};

} // namespace

// The selection is always the current cell alone, whatever the mouse swept over.
class TPosGrid : public QTableView {
public:
    explicit TPosGrid(QWidget* parent) : QTableView(parent) {}

    void EndEditing() {
        QWidget* editor = indexWidget(currentIndex());
        if (editor == nullptr) return;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

protected:
    void setSelection(const QRect&, QItemSelectionModel::SelectionFlags) override {
        if (currentIndex().isValid())
            selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
    }
};

// --- The dialog ------------------------------------------------------------------------------

TSavePosDlg::TSavePosDlg(TMapSession& session, TPositionList& positions, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), m_session(session),
      m_positions(positions) {
    setObjectName(QStringLiteral("SavePosDlg"));
    setWindowTitle(tr("Save Positions"));
    setModal(false);

    UseCurrentBtn = ToolButton("UseCurrentBtn", tr("Insert Current Location"), InsertGlyph());
    FetchBtn = ToolButton("FetchBtn", tr("Fetch Selected Position"), FetchGlyph());
    MoveUpBtn = ToolButton("MoveUpBtn", tr("Move Position Up"), ArrowIcon(0));
    MoveDownBtn = ToolButton("MoveDownBtn", tr("Move Position Down"), ArrowIcon(180));
    DeleteBtn = ToolButton("DeleteBtn", tr("Delete Position"), DeleteGlyph());
    connect(UseCurrentBtn, &QToolButton::clicked, this, &TSavePosDlg::UseCurrentBtnClick);
    connect(FetchBtn, &QToolButton::clicked, this, &TSavePosDlg::FetchBtnClick);
    connect(MoveUpBtn, &QToolButton::clicked, this, &TSavePosDlg::MoveUpBtnClick);
    connect(MoveDownBtn, &QToolButton::clicked, this, &TSavePosDlg::MoveDownBtnClick);
    connect(DeleteBtn, &QToolButton::clicked, this, &TSavePosDlg::DeleteBtnClick);

    m_model = new TPosGridModel(m_positions.Items(), this);
    PosGrid = new TPosGrid(this);
    PosGrid->setObjectName(QStringLiteral("PosGrid"));
    PosGrid->setModel(m_model);
    auto* selection = new TPosGridSelection(m_model);
    PosGrid->setSelectionModel(selection);
    PosGrid->setItemDelegateForColumn(NameColumn, new TNameDelegate(m_model, PosGrid));
    PosGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    PosGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    // A double click fetches; editing starts by typing, F2 or a click on the current name.
    PosGrid->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                             QAbstractItemView::SelectedClicked);
    PosGrid->setTabKeyNavigation(false);
    PosGrid->setShowGrid(true);
    PosGrid->setWordWrap(false);
    PosGrid->setTextElideMode(Qt::ElideNone);
    PosGrid->verticalHeader()->hide();
    const int rowHeight = std::max(RowHeight, PosGrid->fontMetrics().height() + 4);
    PosGrid->verticalHeader()->setMinimumSectionSize(rowHeight);
    PosGrid->verticalHeader()->setDefaultSectionSize(rowHeight);
    PosGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    PosGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    PosGrid->horizontalHeader()->setHighlightSections(false);
    // As laid out, but never too narrow for what the columns hold in this font.
    const int degrees = PosGrid->fontMetrics().horizontalAdvance(FormatDegrees(-179.999)) + 10;
    int columns = 0;
    for (int c = 0; c < ColumnCount; ++c) {
        PosGrid->setColumnWidth(c, c >= 2 ? std::max(ColumnWidths[c], degrees) : ColumnWidths[c]);
        columns += PosGrid->columnWidth(c);
    }
    // Wide enough for every column beside the scroll bar the rows soon need.
    PosGrid->setMinimumWidth(columns + PosGrid->verticalScrollBar()->sizeHint().width() +
                             2 * PosGrid->frameWidth());
    connect(PosGrid, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (m_model->HasEntry(index.row())) FetchBtnClick();
    });
    connect(selection, &QItemSelectionModel::currentChanged, this, &TSavePosDlg::UpdateButtons);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &TSavePosDlg::UpdateButtons);

    CancelBtn = new QPushButton(tr("Close"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    HelpBtn = new QPushButton(tr("Help"), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    for (QPushButton* b : {CancelBtn, HelpBtn})
        b->setAutoDefault(false);
    connect(CancelBtn, &QPushButton::clicked, this, &TSavePosDlg::CancelBtnClick);
    connect(HelpBtn, &QPushButton::clicked, this, [this] {
        if (OnHelp) OnHelp(2, this);
    });

    auto* tools = new QVBoxLayout;
    tools->setSpacing(2);
    for (QToolButton* b : {UseCurrentBtn, FetchBtn, MoveUpBtn, MoveDownBtn})
        tools->addWidget(b);
    tools->addSpacing(ToolButtonSize / 2 + 4); // Delete stands apart from the rest
    tools->addWidget(DeleteBtn);
    tools->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addLayout(tools);
    body->addWidget(PosGrid, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CancelBtn);
    bottom->addStretch(1);
    bottom->addWidget(HelpBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);
    resize(sizeHint().expandedTo(QSize(328, 239)));

    // A load of the list from its file shows here; a dialog gone by then is left out.
    QPointer<TSavePosDlg> self(this);
    auto previous = m_positions.OnLoaded;
    m_positions.OnLoaded = [self, previous] {
        if (previous) previous();
        if (self) self->PositionsLoaded();
    };

    UpdateRowCount();
    selection->Force(0);
    UpdateButtons();
}

TSavePosDlg::~TSavePosDlg() = default;

QToolButton* TSavePosDlg::ToolButton(const char* name, const QString& hint, const QIcon& glyph) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setIcon(glyph);
    button->setIconSize(QSize(17, 17));
    button->setFixedSize(ToolButtonSize, ToolButtonSize);
    button->setAutoRaise(false);
    return button;
}

int TSavePosDlg::RowCount() const {
    return m_model->rowCount() + 1;
}

int TSavePosDlg::CurrentRow() const {
    const QModelIndex current = PosGrid->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

bool TSavePosDlg::RowHasEntry(int row) const {
    return m_model->HasEntry(row - 1);
}

bool TSavePosDlg::PosGridSelectCell(int column, int row) const {
    return column == NameColumn && RowHasEntry(row);
}

void TSavePosDlg::SelectRow(int row) {
    if (PosGridSelectCell(NameColumn, row))
        PosGrid->setCurrentIndex(m_model->index(row - 1, NameColumn));
}

QString TSavePosDlg::CellText(int column, int row) const {
    if (row == 0) return m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    return m_model->Text(column, row - 1);
}

QString TSavePosDlg::PosGridGetEditText(int column, int row) const {
    return PosGridSelectCell(column, row) ? m_model->Text(column, row - 1) : QString();
}

void TSavePosDlg::PosGridSetEditText(int column, int row, const QString& text) {
    m_model->setData(m_model->index(row - 1, column), text, Qt::EditRole);
}

// The larger of ten entry rows and the list's length; a current row that no longer exists
// moves up to the last one.
void TSavePosDlg::UpdateRowCount() {
    const int current = CurrentRow();
    const int rows = std::max(MinEntryRows, static_cast<int>(m_positions.Items().size()));
    m_model->SetRows(rows);
    if (current > rows || current == 0)
        static_cast<TPosGridSelection*>(PosGrid->selectionModel())
            ->Force(std::min(std::max(current, 1), rows) - 1);
}

void TSavePosDlg::UpdateButtons() {
    const int row = CurrentRow();
    const bool entry = RowHasEntry(row);
    FetchBtn->setEnabled(entry);
    MoveUpBtn->setEnabled(entry && row > 1);
    MoveDownBtn->setEnabled(entry && RowHasEntry(row + 1));
    DeleteBtn->setEnabled(entry);
}

void TSavePosDlg::UseCurrentBtnClick() {
    AppendPosition(m_positions.Items(), m_session.CaptureView());
    UpdateRowCount();
    m_model->Refresh();
    UpdateButtons();
}

void TSavePosDlg::FetchBtnClick() {
    const int row = CurrentRow();
    if (!RowHasEntry(row)) return;
    const TTileLocation entry = m_positions.Items()[static_cast<std::size_t>(row - 1)];
    try {
        m_session.ApplyPosition(entry);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TSavePosDlg::Swap(int row, int otherRow) {
    PosGrid->EndEditing();
    TPosList& list = m_positions.Items();
    std::swap(list[static_cast<std::size_t>(row - 1)],
              list[static_cast<std::size_t>(otherRow - 1)]);
    m_model->Refresh();
    SelectRow(otherRow); // the selection follows the entry
    UpdateButtons();
}

void TSavePosDlg::MoveUpBtnClick() {
    const int row = CurrentRow();
    if (RowHasEntry(row) && row > 1) Swap(row, row - 1);
}

void TSavePosDlg::MoveDownBtnClick() {
    const int row = CurrentRow();
    if (RowHasEntry(row) && RowHasEntry(row + 1)) Swap(row, row + 1);
}

// Asks only when there is an entry to delete: a question about nothing would be a report.
void TSavePosDlg::DeleteBtnClick() {
    if (!RowHasEntry(CurrentRow())) return;
    const auto answer =
        QMessageBox::warning(this, windowTitle(), tr("About To Delete A Position. Are You Sure?"),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    PosGrid->EndEditing();
    const int row = CurrentRow();
    if (RowHasEntry(row)) DeletePosition(m_positions.Items(), row - 1);
    // The rows stay: the current row now shows the next entry, or is blank after the last.
    m_model->Refresh();
    UpdateButtons();
}

void TSavePosDlg::CancelBtnClick() {
    PosGrid->EndEditing();
    reject();
}

void TSavePosDlg::PositionsLoaded() {
    PosGrid->EndEditing();
    UpdateRowCount();
    m_model->Refresh();
    UpdateButtons();
}

void TSavePosDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred the first time; after that it opens where the user left it.
    if (m_centred) return;
    m_centred = true;
    CentreOnScreen(this);
}

} // namespace varrow
