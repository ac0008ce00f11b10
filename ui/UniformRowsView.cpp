#include "ui/UniformRowsView.h"

#include "ui/ViewParts.h"

#include <QHeaderView>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

// Rows looked at beyond those shown when a column is sized to its contents
// and the header asks for every row (precision 0 or less).
constexpr int mostRowsMeasured = 1000;

int saturated(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN / 2, INT_MAX / 2));
}

} // namespace

UniformRowsView::UniformRowsView(QWidget* parent)
    : QAbstractItemView(parent), header_(new QHeaderView(Qt::Horizontal, this)),
      rowHeight_(fontMetrics().height() + 6) {
    header_->setSectionsClickable(true);
    header_->setHighlightSections(false);
    setSelectionBehavior(SelectRows);
    setHorizontalScrollMode(ScrollPerPixel);
    const auto relayOut = [this] {
        updateGeometries();
        viewport()->update();
    };
    connect(header_, &QHeaderView::sectionResized, this, relayOut);
    connect(header_, &QHeaderView::sectionMoved, this, relayOut);
    connect(header_, &QHeaderView::sectionCountChanged, this, relayOut);
    connect(header_, &QHeaderView::geometriesChanged, this, relayOut);
}

UniformRowsView::~UniformRowsView() {
    // The header outlives this part of the view: hidden as its parent goes,
    // it would lay out a view that is no longer one.
    header_->disconnect(this);
    if (model() != nullptr) {
        disconnect(model(), &QAbstractItemModel::rowsRemoved, this, nullptr);
    }
}

void UniformRowsView::setModel(QAbstractItemModel* model) {
    if (this->model() != nullptr) {
        disconnect(this->model(), &QAbstractItemModel::rowsRemoved, this, nullptr);
    }
    QAbstractItemView::setModel(model);
    header_->setModel(model);
    if (model != nullptr) {
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { updateGeometries(); });
    }
    updateGeometries();
}

void UniformRowsView::rowsInserted(const QModelIndex& parent, int first, int last) {
    QAbstractItemView::rowsInserted(parent, first, last);
    updateGeometries();
}

void UniformRowsView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                  const QList<int>& roles) {
    if (const auto inSight =
            changedInSight(topLeft, bottomRight, firstRow(), firstRow() + fullRowsShown())) {
        QAbstractItemView::dataChanged(inSight->first, inSight->second, roles);
    }
}

void UniformRowsView::setColumnWidth(int column, int width) {
    header_->resizeSection(column, width);
}

int UniformRowsView::columnWidth(int column) const {
    return header_->sectionSize(column);
}

void UniformRowsView::setRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    updateGeometries();
    viewport()->update();
}

int UniformRowsView::rowCount() const {
    return model() == nullptr ? 0 : model()->rowCount(rootIndex());
}

int UniformRowsView::firstRow() const {
    return verticalScrollBar()->value();
}

int UniformRowsView::fullRowsShown() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

int UniformRowsView::rowTop(int row) const {
    const std::int64_t shown = fullRowsShown() + 2;
    const std::int64_t offset =
        std::clamp<std::int64_t>(std::int64_t{row} - firstRow(), -shown, shown);
    return saturated(offset * rowHeight_);
}

int UniformRowsView::nearestRowAt(int y) const {
    // Floor division: a y above the viewport is in the rows above.
    const int step = y >= 0 ? y / rowHeight_ : -((-y + rowHeight_ - 1) / rowHeight_);
    const std::int64_t row = std::int64_t{firstRow()} + step;
    return static_cast<int>(std::clamp<std::int64_t>(row, 0, std::max(0, rowCount() - 1)));
}

int UniformRowsView::rowAt(int y) const {
    if (y < 0) {
        return -1;
    }
    const std::int64_t row = std::int64_t{firstRow()} + y / rowHeight_;
    return row < rowCount() ? static_cast<int>(row) : -1;
}

void UniformRowsView::selectRow(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    const int column = std::max(0, header_->logicalIndexAt(0));
    selectionModel()->setCurrentIndex(model()->index(row, column, rootIndex()),
                                      QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
}

QRect UniformRowsView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.parent() != rootIndex() || isIndexHidden(index)) {
        return {};
    }
    return {header_->sectionViewportPosition(index.column()), rowTop(index.row()),
            header_->sectionSize(index.column()), rowHeight_};
}

void UniformRowsView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.parent() != rootIndex()) {
        return;
    }
    const int row = index.row();
    const int first = firstRow();
    const int shown = fullRowsShown();
    int top = first;
    switch (hint) {
    case EnsureVisible:
        top = row < first ? row : row >= first + shown ? row - shown + 1 : first;
        break;
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - shown + 1;
        break;
    case PositionAtCenter:
        top = row - shown / 2;
        break;
    }
    verticalScrollBar()->setValue(top);
    if (isIndexHidden(index)) {
        return;
    }
    const int left = header_->sectionPosition(index.column());
    const int right = left + header_->sectionSize(index.column());
    QScrollBar* across = horizontalScrollBar();
    if (left < across->value()) {
        across->setValue(left);
    } else if (right > across->value() + viewport()->width()) {
        across->setValue(std::min(left, right - viewport()->width()));
    }
}

QModelIndex UniformRowsView::indexAt(const QPoint& point) const {
    const int row = rowAt(point.y());
    const int column = header_->logicalIndexAt(point.x());
    if (row < 0 || column < 0) {
        return {};
    }
    return model()->index(row, column, rootIndex());
}

int UniformRowsView::sizeHintForColumn(int column) const {
    const int rows = rowCount();
    if (rows == 0 || column < 0 || column >= header_->count()) {
        return -1;
    }
    const int precision = header_->resizeContentsPrecision();
    const int looked = std::max(fullRowsShown() + 1, precision > 0 ? precision : mostRowsMeasured);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int widest = 0;
    const auto measure = [&](int from, int to) {
        for (int row = from; row < to; ++row) {
            const QModelIndex index = model()->index(row, column, rootIndex());
            widest = std::max(widest, itemDelegateForIndex(index)->sizeHint(option, index).width());
        }
    };
    measure(firstRow(), std::min(rows, firstRow() + fullRowsShown() + 1));
    measure(0, std::min({rows, looked, firstRow()}));
    return widest + 1; // the grid line
}

int UniformRowsView::sizeHintForRow(int /*row*/) const {
    return rowHeight_;
}

int UniformRowsView::visibleColumnNear(int column, int step) const {
    for (int visual = header_->visualIndex(column) + step; visual >= 0 && visual < header_->count();
         visual += step) {
        const int logical = header_->logicalIndex(visual);
        if (!header_->isSectionHidden(logical)) {
            return logical;
        }
    }
    return column;
}

QModelIndex UniformRowsView::moveCursor(CursorAction action, Qt::KeyboardModifiers /*modifiers*/) {
    const int rows = rowCount();
    if (rows == 0 || header_->count() == 0) {
        return {};
    }
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        return model()->index(0, std::max(0, header_->logicalIndexAt(0)), rootIndex());
    }
    int row = current.row();
    int column = current.column();
    switch (action) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= fullRowsShown();
        break;
    case MovePageDown:
        row += fullRowsShown();
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
        column = visibleColumnNear(column, isRightToLeft() ? 1 : -1);
        break;
    case MoveRight:
        column = visibleColumnNear(column, isRightToLeft() ? -1 : 1);
        break;
    }
    return model()->index(std::clamp(row, 0, rows - 1), column, rootIndex());
}

int UniformRowsView::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int UniformRowsView::verticalOffset() const {
    return saturated(std::int64_t{firstRow()} * rowHeight_);
}

bool UniformRowsView::isIndexHidden(const QModelIndex& index) const {
    return header_->isSectionHidden(index.column());
}

void UniformRowsView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    if (rowCount() == 0 || header_->count() == 0) {
        return;
    }
    const QRect area = rect.normalized();
    const int top = nearestRowAt(area.top());
    const int bottom = nearestRowAt(area.bottom());
    const int lastColumn = model()->columnCount(rootIndex()) - 1;
    const QItemSelection rows(model()->index(top, 0, rootIndex()),
                              model()->index(bottom, lastColumn, rootIndex()));
    selectionModel()->select(rows, command);
}

QRegion UniformRowsView::visualRegionForSelection(const QItemSelection& selection) const {
    const int first = firstRow();
    const int last = first + fullRowsShown();
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex()) {
            continue;
        }
        const int top = std::max(range.top(), first);
        const int bottom = std::min(range.bottom(), last);
        if (top <= bottom) {
            region += QRect(0, rowTop(top), viewport()->width(), (bottom - top + 1) * rowHeight_);
        }
    }
    return region;
}

void UniformRowsView::paintEvent(QPaintEvent* event) {
    const int rows = rowCount();
    if (rows == 0 || header_->count() == 0) {
        return;
    }
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State baseState = option.state;
    const auto gridColor = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const QRect dirty = event->rect();
    const int first = firstRow();
    const int from = first + std::max(0, dirty.top() / rowHeight_);
    const auto to = static_cast<int>(
        std::min<std::int64_t>(rows - 1, std::int64_t{first} + dirty.bottom() / rowHeight_));
    int firstVisual = header_->visualIndexAt(dirty.left());
    int lastVisual = header_->visualIndexAt(dirty.right());
    firstVisual = firstVisual < 0 ? 0 : firstVisual;
    lastVisual = lastVisual < 0 ? header_->count() - 1 : lastVisual;
    const QModelIndex current = currentIndex();
    const bool focused = hasFocus() && current.isValid();
    QItemSelectionModel* selection = selectionModel();

    for (int row = from; row <= to; ++row) {
        const int top = (row - first) * rowHeight_;
        for (int visual = firstVisual; visual <= lastVisual; ++visual) {
            const int column = header_->logicalIndex(visual);
            if (header_->isSectionHidden(column)) {
                continue;
            }
            const int left = header_->sectionViewportPosition(column);
            const int width = header_->sectionSize(column);
            const QModelIndex index = model()->index(row, column, rootIndex());
            option.rect = QRect(left, top, width - 1, rowHeight_ - 1);
            option.state = baseState;
            if (selection->isSelected(index)) {
                option.state |= QStyle::State_Selected;
            }
            if (focused && index == current) {
                option.state |= QStyle::State_HasFocus;
            }
            if (!(model()->flags(index) & Qt::ItemIsEnabled)) {
                option.state &= ~QStyle::State_Enabled;
            }
            itemDelegateForIndex(index)->paint(&painter, option, index);
            painter.setPen(gridColor);
            painter.drawLine(left + width - 1, top, left + width - 1, top + rowHeight_ - 1);
            painter.drawLine(left, top + rowHeight_ - 1, left + width - 1, top + rowHeight_ - 1);
        }
    }
}

void UniformRowsView::updateGeometries() {
    if (layingOut_) {
        return;
    }
    layingOut_ = true;
    const int headerHeight = header_->isHidden() ? 0 : header_->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect shown = viewport()->geometry();
    header_->setGeometry(shown.left(), shown.top() - headerHeight, shown.width(), headerHeight);
    header_->setOffset(horizontalScrollBar()->value());

    QScrollBar* down = verticalScrollBar();
    down->setSingleStep(1);
    down->setPageStep(fullRowsShown());
    down->setRange(0, std::max(0, rowCount() - fullRowsShown()));
    QScrollBar* across = horizontalScrollBar();
    across->setSingleStep(20);
    across->setPageStep(shown.width());
    across->setRange(0, std::max(0, header_->length() - shown.width()));
    layingOut_ = false;
    QAbstractItemView::updateGeometries();
}

void UniformRowsView::scrollContentsBy(int dx, int /*dy*/) {
    if (dx != 0) {
        header_->setOffset(horizontalScrollBar()->value());
    }
    viewport()->update();
}
