#pragma once
// A grid of text cells with one fixed heading row, numbered as the designed grid is:
// row 0 is the heading row, data rows are 1 .. Rows() - 1. Cells live in a compact
// table; the view creates no object per cell.

#include "platform/celltable.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>

namespace ct {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(int rows = 2, int cols = 2, QObject* parent = nullptr);

    int Rows() const { return m_body.rowCount() + 1; }
    int Cols() const { return m_cols; }
    void setRows(int rows); // at least 1 (the heading row)
    void setCols(int cols);

    QString TextMatrix(int row, int col) const; // throws std::out_of_range outside the grid
    void setTextMatrix(int row, int col, const QString& text);
    void clearTexts(); // every cell, headings included, becomes empty

    // Replaces rows 1.. with the given table: Rows() becomes its rows + 1, Cols() its columns.
    void setBody(CellTable&& body);
    const CellTable& body() const { return m_body; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    void check(int row, int col) const;
    QStringList m_heading;
    CellTable m_body;
    int m_cols;
};

class GridView : public QTableView {
    Q_OBJECT
public:
    explicit GridView(QWidget* parent = nullptr);
    GridModel* grid() const { return m_model; }

    // The current row in grid numbering: a data row (1 ..), or 1 when none was picked.
    int Row() const;
    void setRow(int row);
    void setColWidthTwips(int col, int twips);
    // Selected cells are shown highlighted only while the grid has the input focus.
    void setHighlightOnlyWithFocus(bool on);

Q_SIGNALS:
    void Click(); // a cell was clicked (or Enter/Space pressed) and is now current

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    GridModel* m_model;
};

} // namespace ct
