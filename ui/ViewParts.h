#pragma once

#include <QModelIndex>
#include <QString>

#include <optional>
#include <utility>

class QAbstractItemModel;
class QChart;
class QTableView;
class QValueAxis;
class QWidget;

// Pieces several views are built from.

// A read-only table of whole rows on `model`, fixed row heights (so that
// millions of rows cost nothing to lay out), the last column stretched.
QTableView* readOnlyTable(QAbstractItemModel* model, QWidget* parent);

// The part of a changed range of rows that is in sight, rows `firstShown`
// to `lastShown`; nothing where none of it is. Qt redraws a changed range by
// uniting the rectangles of every cell in it, twelve million of them when a
// million frames change colour at once: views hand it only this part.
std::optional<std::pair<QModelIndex, QModelIndex>>
changedInSight(const QModelIndex& topLeft, const QModelIndex& bottomRight, int firstShown,
               int lastShown);

// Empties `chart` of its series and axes and gives it a time axis (below,
// titled `timeTitle`) and a value axis (left), returned in that order.
std::pair<QValueAxis*, QValueAxis*> resetChart(QChart* chart, const QString& timeTitle);
