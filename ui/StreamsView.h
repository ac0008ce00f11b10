#pragma once

#include "app/ChargedStreams.h"

#include <QWidget>

#include <vector>

class QChart;
class QChartView;
class QLabel;
class QTableView;
class StreamPacketModel;
class TextTableModel;

// The voice streams of the selected calls: their figures a row each, the
// packets of the stream chosen among them (delta, jitter, status), and plots
// of jitter and delta over the call's time, both directions together.
class StreamsView final : public QWidget {
    Q_OBJECT
public:
    explicit StreamsView(QWidget* parent = nullptr);

    // Keeps the streams, and their charge to the memory budget, until the next ones.
    void setStreams(ChargedStreams streams);
    void clear() { setStreams(ChargedStreams{}); }
    [[nodiscard]] QTableView* figuresTable() const { return figuresTable_; }
    [[nodiscard]] QTableView* packetsTable() const { return packetsTable_; }
    [[nodiscard]] int streamCount() const { return static_cast<int>(streams_.size()); }
    [[nodiscard]] QChart* jitterChart() const { return jitterChart_; }
    [[nodiscard]] QChart* deltaChart() const { return deltaChart_; }

signals:
    // A packet row was chosen: its frame (1-based position in the capture).
    void frameActivated(quint32 frameNumber);

private:
    void showPackets(int stream);
    void plot();

    std::vector<analysis::VoiceStream> streams_;
    MemoryCharge charge_;
    TextTableModel* figuresModel_;
    StreamPacketModel* packetModel_;
    QTableView* figuresTable_;
    QTableView* packetsTable_;
    QLabel* packetsTitle_;
    QChart* jitterChart_;
    QChart* deltaChart_;
};
