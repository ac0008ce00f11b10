#include "ui/TrackerTableModel.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include "ui/HeaderWords.h"
#include "app/KvIAXCapture.h"

TrackerTableModel::TrackerTableModel(Rows rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {
    const auto columns = rows == Rows::Calls
                             ? callwriter::callColumns(calls::Call{}, quality::CallVerdict{})
                             : callwriter::registrationColumns(calls::Registration{});
    for (const auto& column : columns) {
        titles_ << headerWords(QString::fromUtf8(column.first));
    }
}

void TrackerTableModel::setCapture(const KvIAXCapture* capture) {
    beginResetModel();
    capture_ = capture;
    order_.clear();
    shownRows_ = trackedRows();
    cachedRow_ = -1;
    endResetModel();
}

int TrackerTableModel::trackedRows() const {
    if (capture_ == nullptr) {
        return 0;
    }
    const auto& tracker = capture_->callTracker();
    return static_cast<int>(rows_ == Rows::Calls ? tracker.calls().size()
                                                 : tracker.registrations().size());
}

void TrackerTableModel::refresh() {
    const int total = trackedRows();
    cachedRow_ = -1;
    if (total < shownRows_) {
        // The capture's list was replaced: the tracker started over.
        beginResetModel();
        order_.clear();
        shownRows_ = total;
        endResetModel();
        return;
    }
    const int known = shownRows_;
    if (total > known) {
        beginInsertRows({}, known, total - 1);
        shownRows_ = total;
        order_.grow(total);
        endInsertRows();
    }
    if (known > 0) {
        emit dataChanged(index(0, 0), index(known - 1, columnCount() - 1), {Qt::DisplayRole});
    }
}

int TrackerTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int TrackerTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

void TrackerTableModel::sort(int column, Qt::SortOrder order) {
    // A column of a call's verdict needs its streams' figures: sorting by
    // another spares them.
    const bool verdict = rows_ == Rows::Calls && column >= titles_.indexOf("MOS");
    emit layoutAboutToBeChanged();
    order_.sort(shownRows_, column, order, [&](int item) {
        return QString::fromStdString(
            columnsOfItem(item, verdict)[static_cast<std::size_t>(column)].second);
    });
    cachedRow_ = -1;
    emit layoutChanged();
}

const callwriter::Columns& TrackerTableModel::columnsOf(int row) const {
    if (row != cachedRow_) {
        cached_ = columnsOfItem(order_.itemAt(row), true);
        cachedRow_ = row;
    }
    return cached_;
}

callwriter::Columns TrackerTableModel::columnsOfItem(int item, bool withVerdict) const {
    const auto& tracker = capture_->callTracker();
    const auto at = static_cast<std::size_t>(item);
    return rows_ == Rows::Calls ? callwriter::callColumns(tracker.calls()[at],
                                                          withVerdict ? capture_->callVerdict(at)
                                                                      : quality::CallVerdict{})
                                : callwriter::registrationColumns(tracker.registrations()[at]);
}

namespace {

// A padlock, closed or open, for the calls that were encrypted.
QIcon padlock(bool closed) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = closed ? QColor(176, 32, 32) : QColor(32, 128, 48);
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::NoBrush);
    // The shackle: closed into the body, or swung open to the right.
    painter.drawArc(QRectF(closed ? 4 : 8, 1, 8, 9), 0, 180 * 16);
    painter.drawLine(QPointF(closed ? 4 : 8, 5.5), QPointF(closed ? 4 : 8, 8));
    painter.drawLine(QPointF(closed ? 12 : 16, 5.5), QPointF(closed ? 12 : 16, closed ? 8 : 6));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(2, 7.5, 12, 8), 1.5, 1.5);
    return QIcon(pixmap);
}

} // namespace

QVariant TrackerTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shownRows_ || index.row() >= trackedRows()) {
        return {};
    }
    if ((role == Qt::DecorationRole || role == Qt::ToolTipRole) && rows_ == Rows::Calls &&
        index.column() == 0) {
        const calls::Call& call =
            capture_->callTracker().calls()[static_cast<std::size_t>(order_.itemAt(index.row()))];
        if (!call.encrypted) {
            return {};
        }
        if (role == Qt::ToolTipRole) {
            if (call.challengeMissing) {
                return QStringLiteral("Encrypted: its AUTHREQ was not captured, so no secret "
                                      "can open it");
            }
            return call.locked ? QStringLiteral("Encrypted: no known secret opens some of its "
                                                "frames (Edit > Decryption Secrets)")
                               : QStringLiteral("Encrypted, and read with a known secret");
        }
        static const QIcon closed = padlock(true), open = padlock(false);
        return call.locked ? closed : open;
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const auto& columns = columnsOf(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    return column < columns.size() ? QString::fromStdString(columns[column].second) : QVariant();
}

QVariant TrackerTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return titles_.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
