#include "widgets/grid.h"

#include "widgets/twips.h"

#include <QHeaderView>
#include <QKeyEvent>

#include <stdexcept>

namespace ct {

GridModel::GridModel(int rows, int cols, QObject* parent)
    : QAbstractTableModel(parent), m_body(cols), m_cols(cols)
{
    m_heading.resize(cols);
    m_body.resizeRows(std::max(rows, 1) - 1);
}

void GridModel::setRows(int rows)
{
    rows = std::max(rows, 1);
    const int data = rows - 1;
    const int old = m_body.rowCount();
    if (data == old)
        return;
    if (data > old) {
        beginInsertRows({}, old, data - 1);
        m_body.resizeRows(data);
        endInsertRows();
    } else {
        beginRemoveRows({}, data, old - 1);
        m_body.resizeRows(data);
        endRemoveRows();
    }
}

void GridModel::setCols(int cols)
{
    cols = std::max(cols, 0);
    if (cols == m_cols)
        return;
    beginResetModel();
    m_heading.resize(cols);
    m_body.setColumnCount(cols);
    m_cols = cols;
    endResetModel();
}

void GridModel::check(int row, int col) const
{
    if (row < 0 || row >= Rows() || col < 0 || col >= m_cols)
        throw std::out_of_range("grid cell out of range");
}

QString GridModel::TextMatrix(int row, int col) const
{
    check(row, col);
    return row == 0 ? m_heading[col] : m_body.text(row - 1, col);
}

void GridModel::setTextMatrix(int row, int col, const QString& text)
{
    check(row, col);
    if (row == 0) {
        m_heading[col] = text;
        Q_EMIT headerDataChanged(Qt::Horizontal, col, col);
        return;
    }
    m_body.set(row - 1, col, text);
    const QModelIndex i = index(row - 1, col);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
}

void GridModel::clearTexts()
{
    beginResetModel();
    for (QString& h : m_heading)
        h.clear();
    m_body.clearTexts();
    endResetModel();
}

void GridModel::setBody(CellTable&& body)
{
    beginResetModel();
    m_cols = body.columnCount();
    m_heading.resize(m_cols);
    m_body = std::move(body);
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_body.rowCount();
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_body.rowCount() || index.column() >= m_cols)
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
        return m_body.text(index.row(), index.column());
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) &&
        section >= 0 && section < m_cols)
        return m_heading[section];
    if (o == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return {};
}

GridView::GridView(QWidget* parent) : QTableView(parent), m_model(new GridModel(2, 2, this))
{
    setModel(m_model);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    connect(this, &QTableView::clicked, this, [this](const QModelIndex&) { Q_EMIT Click(); });
}

int GridView::Row() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() + 1 : 1;
}

void GridView::setRow(int row)
{
    const int col = std::max(currentIndex().column(), 0);
    setCurrentIndex(m_model->index(row - 1, col));
}

void GridView::setColWidthTwips(int col, int tw)
{
    setColumnWidth(col, twips::toPx(tw));
}

void GridView::setHighlightOnlyWithFocus(bool on)
{
    QPalette p = palette();
    if (on) {
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Inactive, QPalette::Base));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Inactive, QPalette::Text));
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
    }
    setPalette(p);
}

void GridView::keyPressEvent(QKeyEvent* e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space) &&
        currentIndex().isValid()) {
        Q_EMIT Click();
        return;
    }
    QTableView::keyPressEvent(e);
}

} // namespace ct
