#include "ui/ColumnSizing.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>

#include <algorithm>
#include <functional>

namespace {

// A column is never made wider than this by its contents.
constexpr int widestColumn = 420;
// Between two passes while rows keep coming.
constexpr int passIntervalMs = 500;

// The last column shown, or -1.
int lastShown(const QHeaderView* columns) {
    for (int visual = columns->count() - 1; visual >= 0; --visual) {
        const int logical = columns->logicalIndex(visual);
        if (!columns->isSectionHidden(logical)) {
            return logical;
        }
    }
    return -1;
}

// Calls a function when the header is resized with its view.
class OnResize final : public QObject {
public:
    OnResize(QObject* watched, std::function<void()> resized)
        : QObject(watched), resized_(std::move(resized)) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            resized_();
        }
        return false;
    }

private:
    std::function<void()> resized_;
};

} // namespace

void ColumnSizing::follow(QHeaderView* columns) {
    new ColumnSizing(columns);
}

ColumnSizing::ColumnSizing(QHeaderView* columns) : QObject(columns), columns_(columns) {
    pending_.setSingleShot(true);
    connect(&pending_, &QTimer::timeout, this, &ColumnSizing::sizeToContents);
    const auto changed = [this] {
        if (!userSized_ && !pending_.isActive()) {
            pending_.start(lastFloor_ == 0 ? 0 : passIntervalMs);
        }
    };
    QAbstractItemModel* model = columns->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &QAbstractItemModel::modelReset, this, changed);
    connect(model, &QAbstractItemModel::dataChanged, this, changed);
    connect(columns, &QHeaderView::sectionResized, this, [this](int logical) {
        if (sizing_) {
            return;
        }
        // The stretched last column follows the view; any other is the user's.
        if (logical != lastShown(columns_)) {
            userSized_ = true;
            keepLastReadable();
        }
    });
    new OnResize(columns, [this] { keepLastReadable(); });
}

void ColumnSizing::sizeToContents() {
    const auto* view = qobject_cast<const QAbstractItemView*>(columns_->parentWidget());
    const QAbstractItemModel* model = columns_->model();
    if (view == nullptr || model == nullptr || model->rowCount() == 0) {
        return;
    }
    const bool first = lastFloor_ == 0;
    const int last = lastShown(columns_);
    const int lastRow = model->rowCount() - 1;
    sizing_ = true;
    columns_->setResizeContentsPrecision(100);
    for (int column = 0; column < columns_->count(); ++column) {
        if (columns_->isSectionHidden(column)) {
            continue;
        }
        // The rows in sight, and the last (a frame's number is widest there).
        const int contents = std::max({view->sizeHintForColumn(column),
                                       view->sizeHintForIndex(model->index(lastRow, column)).width(),
                                       columns_->sectionSizeHint(column)});
        const int wanted = std::min(contents, widestColumn);
        if (column == last) {
            lastFloor_ = std::max(first ? 1 : lastFloor_, wanted);
        } else if (first || wanted > columns_->sectionSize(column)) {
            columns_->resizeSection(column, wanted);
        }
    }
    sizing_ = false;
    keepLastReadable();
}

void ColumnSizing::keepLastReadable() {
    const int last = lastShown(columns_);
    if (last < 0 || lastFloor_ == 0) {
        return;
    }
    int others = 0;
    for (int column = 0; column < columns_->count(); ++column) {
        if (column != last && !columns_->isSectionHidden(column)) {
            others += columns_->sectionSize(column);
        }
    }
    const bool room = columns_->width() - others >= lastFloor_;
    sizing_ = true;
    if (room != columns_->stretchLastSection()) {
        columns_->setStretchLastSection(room);
    }
    if (!room) {
        columns_->resizeSection(last, lastFloor_);
    }
    sizing_ = false;
}
