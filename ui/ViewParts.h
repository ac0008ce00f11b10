#pragma once

#include <QString>

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

// Empties `chart` of its series and axes and gives it a time axis (below,
// titled `timeTitle`) and a value axis (left), returned in that order.
std::pair<QValueAxis*, QValueAxis*> resetChart(QChart* chart, const QString& timeTitle);
