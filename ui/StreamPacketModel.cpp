#include "ui/StreamPacketModel.h"

#include <QBrush>
#include <QColor>

namespace {

enum Column { Frame, Timestamp, Arrival, Delta, Jitter, Status, Columns };

} // namespace

StreamPacketModel::StreamPacketModel(QObject* parent) : QAbstractTableModel(parent) {}

void StreamPacketModel::setPackets(std::vector<quality::StreamPacket> packets) {
    beginResetModel();
    packets_ = std::move(packets);
    order_.clear();
    endResetModel();
}

void StreamPacketModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged();
    order_.sort(rowCount(), column, order, [&](int item) {
        return textOf(packets_[static_cast<std::size_t>(item)], column).toString();
    });
    emit layoutChanged();
}

const quality::StreamPacket* StreamPacketModel::packetAt(int row) const {
    return row >= 0 && row < rowCount() ? &packets_[static_cast<std::size_t>(order_.itemAt(row))]
                                        : nullptr;
}

int StreamPacketModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(packets_.size());
}

int StreamPacketModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant StreamPacketModel::data(const QModelIndex& index, int role) const {
    const quality::StreamPacket* packet = packetAt(index.row());
    if (packet == nullptr) {
        return {};
    }
    if (role == Qt::ForegroundRole && index.column() == Status &&
        (packet->status != quality::PacketStatus::Ok || packet->late)) {
        return QBrush(QColor(0xC0, 0x20, 0x20));
    }
    if (role == Qt::TextAlignmentRole && index.column() != Status) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return role == Qt::DisplayRole ? textOf(*packet, index.column()) : QVariant();
}

QVariant StreamPacketModel::textOf(const quality::StreamPacket& stored, int column) const {
    const quality::StreamPacket* packet = &stored;
    switch (column) {
    case Frame:
        return packet->frameNumber;
    case Timestamp:
        return packet->timestamp;
    case Arrival:
        return QString::number(packet->arrivalMs / 1000.0, 'f', 6);
    case Delta:
        return QString::number(packet->deltaMs, 'f', 3);
    case Jitter:
        return QString::number(packet->jitterMs, 'f', 3);
    case Status: {
        QString text = QString::fromUtf8(quality::statusText(packet->status));
        if (packet->lostBefore > 0 && packet->status != quality::PacketStatus::LostBefore) {
            text += tr(", lost before");
        }
        if (packet->lostBefore > 0) {
            text += QStringLiteral(" (%1)").arg(packet->lostBefore);
        }
        return packet->late ? text + tr(", late") : text;
    }
    default:
        return {};
    }
}

QVariant StreamPacketModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case Frame:
        return tr("Frame");
    case Timestamp:
        return tr("Timestamp (ms)");
    case Arrival:
        return tr("Arrival (s)");
    case Delta:
        return tr("Delta (ms)");
    case Jitter:
        return tr("Jitter (ms)");
    case Status:
        return tr("Status");
    default:
        return {};
    }
}
