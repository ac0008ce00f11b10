#include "ui/FrameTableModel.h"

#include "app/KvIAXCapture.h"

namespace {
// How long appends gather before they become rows.
constexpr int flushIntervalMs = 30;
} // namespace

FrameTableModel::FrameTableModel(KeyColumns columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {
    for (const QString& key : columns_.keys) {
        keys_.push_back(PropertyKey::named(key.toStdString()));
    }
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(flushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &FrameTableModel::flushAppends);
}

void FrameTableModel::setCapture(KvIAXCapture* capture) {
    for (const auto& connection : connections_) {
        disconnect(connection);
    }
    connections_.clear();
    capture_ = capture;
    if (capture != nullptr) {
        connections_.append(connect(capture, &KvIAXCapture::framesAppended, this, [this] {
            if (!flushTimer_.isActive()) {
                flushTimer_.start();
            }
        }));
        connections_.append(
            connect(capture, &KvIAXCapture::framesReset, this, &FrameTableModel::reset));
        connections_.append(connect(capture, &QObject::destroyed, this, [this] {
            capture_ = nullptr;
            reset();
        }));
    }
    reset();
}

void FrameTableModel::reset() {
    flushTimer_.stop();
    beginResetModel();
    shownRows_ = capture_ != nullptr ? static_cast<int>(capture_->iaxFrames().size()) : 0;
    endResetModel();
}

void FrameTableModel::flushAppends() {
    if (capture_ == nullptr) {
        return;
    }
    const int available = static_cast<int>(capture_->iaxFrames().size());
    if (available > shownRows_) {
        beginInsertRows({}, shownRows_, available - 1);
        shownRows_ = available;
        endInsertRows();
    }
}

std::shared_ptr<KvIAXFrame> FrameTableModel::frameAt(int row) const {
    if (capture_ == nullptr || row < 0 || row >= shownRows_) {
        return nullptr;
    }
    return capture_->iaxFrames()[static_cast<std::size_t>(row)];
}

int FrameTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int FrameTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_.count();
}

QVariant FrameTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || index.column() >= static_cast<int>(keys_.size())) {
        return {};
    }
    const auto frame = frameAt(index.row());
    if (!frame) {
        return {};
    }
    const PropertyValue* value =
        frame->properties().find(keys_[static_cast<std::size_t>(index.column())]);
    return value != nullptr ? QString::fromStdString(value->text()) : QString();
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return columns_.title(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
