#include "ui/ViewParts.h"

#include <QChart>
#include <QHeaderView>
#include <QTableView>
#include <QValueAxis>

#include <algorithm>

namespace {

// A table that redraws only what it shows of a changed range.
class ReadOnlyTable final : public QTableView {
public:
    using QTableView::QTableView;

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles) override {
        const int first = std::max(0, rowAt(0));
        const int shown = rowAt(viewport()->height() - 1);
        const int last = shown >= 0 ? shown : model()->rowCount(rootIndex()) - 1;
        if (const auto inSight = changedInSight(topLeft, bottomRight, first, last)) {
            QTableView::dataChanged(inSight->first, inSight->second, roles);
        }
    }
};

} // namespace

std::optional<std::pair<QModelIndex, QModelIndex>>
changedInSight(const QModelIndex& topLeft, const QModelIndex& bottomRight, int firstShown,
               int lastShown) {
    const int top = std::max(topLeft.row(), firstShown);
    const int bottom = std::min(bottomRight.row(), lastShown);
    if (!topLeft.isValid() || !bottomRight.isValid() || top > bottom) {
        return std::nullopt;
    }
    return std::pair{topLeft.siblingAtRow(top), bottomRight.siblingAtRow(bottom)};
}

QTableView* readOnlyTable(QAbstractItemModel* model, QWidget* parent) {
    auto* view = new ReadOnlyTable(parent);
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
