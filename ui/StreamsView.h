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
// over the call's time, both directions together: jitter with the late
// frames marked and the receivers' reported jitter, delta with the frames
// after a loss marked, and the loss the receivers reported beside what the
// capture saw.
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
    [[nodiscard]] QChart* lossChart() const { return lossChart_; }

signals:
    // A packet row was chosen: its frame (1-based position in the capture).
    void frameActivated(quint32 frameNumber);

private:
    void showPackets(int stream);
    void plot();
    void plotReportedLoss();

    std::vector<analysis::VoiceStream> streams_;
    MemoryCharge charge_;
    TextTableModel* figuresModel_;
    StreamPacketModel* packetModel_;
    QTableView* figuresTable_;
    QTableView* packetsTable_;
    QLabel* packetsTitle_;
    QChart* jitterChart_;
    QChart* deltaChart_;
    QChart* lossChart_;
};
