#include "ui/ColumnSizing.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>
#include <functional>

namespace {

// A column is never made wider than this by its contents.
constexpr int widestColumn = 420;
// Between two passes while rows keep coming, and how many come after the
// first: by then the columns hold what they will hold.
constexpr int passIntervalMs = 1000;
constexpr int mostPasses = 20;
// Rows measured by the first pass and by the later ones: a cell's measure
// costs tens of microseconds, and the later passes must stay short.
constexpr int firstPassRows = 50;
constexpr int laterPassRows = 16;

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

// Calls a function when an object gets events of a type.
class OnEvent final : public QObject {
public:
    OnEvent(QObject* watched, QEvent::Type type, std::function<void()> then)
        : QObject(watched), type_(type), then_(std::move(then)) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) {
            then_();
        }
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void()> then_;
};

} // namespace

void ColumnSizing::follow(QHeaderView* columns) {
    new ColumnSizing(columns);
}

ColumnSizing::ColumnSizing(QHeaderView* columns) : QObject(columns), columns_(columns) {
    pending_.setSingleShot(true);
    pending_.setObjectName("column sizing");
    connect(&pending_, &QTimer::timeout, this, &ColumnSizing::sizeToContents);
    const auto changed = [this] {
        if (!userSized_ && !pending_.isActive()) {
            pending_.start(lastFloor_ == 0 ? 0 : passIntervalMs);
        }
    };
    // A table out of sight (another tab) is sized when it comes into sight.
    new OnEvent(columns->parentWidget(), QEvent::Show, [this] {
        if (unsizedWhileHidden_) {
            unsizedWhileHidden_ = false;
            pending_.start(0);
        }
    });
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
    new OnEvent(columns, QEvent::Resize, [this] { keepLastReadable(); });
}

void ColumnSizing::sizeToContents() {
    const auto* view = qobject_cast<const QAbstractItemView*>(columns_->parentWidget());
    const QAbstractItemModel* model = columns_->model();
    if (view == nullptr || model == nullptr || model->rowCount() == 0) {
        return;
    }
    if (!view->isVisible()) {
        unsizedWhileHidden_ = true;
        return;
    }
    const bool first = lastFloor_ == 0;
    const int last = lastShown(columns_);
    const int lastRow = model->rowCount() - 1;
    // After the first passes, only the last row is measured, as rows come:
    // a frame's number grows a digit at ten million.
    const bool lastRowOnly = ++passes_ > mostPasses;
    sizing_ = true;
    const int precision = first ? firstPassRows : laterPassRows;
    columns_->setResizeContentsPrecision(precision);
    // A table view measures its columns over as many rows as its row header says.
    if (auto* table = qobject_cast<QTableView*>(columns_->parentWidget())) {
        table->verticalHeader()->setResizeContentsPrecision(precision);
    }
    for (int column = 0; column < columns_->count(); ++column) {
        if (columns_->isSectionHidden(column)) {
            continue;
        }
        // The rows in sight, and the last (a frame's number is widest there).
        const int lastWidth = view->sizeHintForIndex(model->index(lastRow, column)).width();
        const int contents =
            lastRowOnly ? lastWidth
                        : std::max({view->sizeHintForColumn(column), lastWidth,
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
