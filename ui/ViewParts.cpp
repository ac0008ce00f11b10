#include "ui/ViewParts.h"

#include <QChart>
#include <QHeaderView>
#include <QTableView>
#include <QValueAxis>

QTableView* readOnlyTable(QAbstractItemModel* model, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

std::pair<QValueAxis*, QValueAxis*> resetChart(QChart* chart, const QString& timeTitle) {
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    auto* time = new QValueAxis;
    time->setTitleText(timeTitle);
    auto* value = new QValueAxis;
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(value, Qt::AlignLeft);
    return {time, value};
}
