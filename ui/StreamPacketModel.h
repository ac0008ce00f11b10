#pragma once

#include "quality/StreamTypes.h"
#include "ui/RowOrder.h"

#include <QAbstractTableModel>

#include <vector>

// The voice packets of one stream, a row each in arrival order: its frame,
// timestamp, arrival, delta, jitter and status. Texts are made as rows are
// shown, so an hour of voice costs no more than its packets.
class StreamPacketModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit StreamPacketModel(QObject* parent = nullptr);

    void setPackets(std::vector<quality::StreamPacket> packets);
    [[nodiscard]] const quality::StreamPacket* packetAt(int row) const;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    [[nodiscard]] QVariant textOf(const quality::StreamPacket& packet, int column) const;

    std::vector<quality::StreamPacket> packets_;
    RowOrder order_;
};
