#pragma once

#include "app/ChargedStreams.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>

#include <vector>

class KvIAXCapture;
class QChart;
class QChartView;
class ElidedLabel;
class QLabel;
class QSplitter;
class QTableView;
class StreamPacketModel;
class StreamFiguresModel;

// The voice streams of the selected calls: their figures a row each, the
// packets of the stream chosen among them (delta, jitter, status), and plots
// over its call's time, both directions together: jitter with the late
// frames marked and the receivers' reported jitter, delta with the frames
// after a loss marked, and the loss the receivers reported beside what the
// capture saw.
class StreamsView final : public QWidget {
    Q_OBJECT
public:
    explicit StreamsView(QWidget* parent = nullptr);

    // The figures of the selected calls' streams, a row each; the packets and
    // plots are made for the call of the row chosen, when it is chosen, so
    // that selecting a thousand calls costs their figures only.
    void setCalls(const KvIAXCapture* capture, std::vector<quality::StreamFigures> figures);
    void clear() { setCalls(nullptr, {}); }
    [[nodiscard]] QTableView* figuresTable() const { return figuresTable_; }
    [[nodiscard]] QTableView* packetsTable() const { return packetsTable_; }
    [[nodiscard]] int streamCount() const;
    [[nodiscard]] QChart* jitterChart() const { return jitterChart_; }
    [[nodiscard]] QChart* deltaChart() const { return deltaChart_; }
    [[nodiscard]] QChart* lossChart() const { return lossChart_; }
    // Its splitters, figures above the rest first, for the remembered layout.
    [[nodiscard]] const QList<QSplitter*>& splitters() const { return splitters_; }

signals:
    // A packet row was chosen: its frame (1-based position in the capture).
    void frameActivated(quint32 frameNumber);
    // The packets of a call could not be made ("memory limit reached: ...").
    void refused(const QString& reason);

private:
    void showPackets(int row);
    // Makes the packets of `call`'s streams, unless they are the ones shown,
    // for about 10 ms, then a slice at each turn of the event loop: a call
    // may be millions of frames. True once they are made (or refused).
    bool loadCall(std::size_t call);
    // Goes on making them; true once made.
    bool loadSlice();
    void forgetCall();
    void plot();
    void plotNextChart();
    void plotTimes(QChart* chart, bool jitter); // jitter, or else delta
    void plotReportedLoss();

    QPointer<const KvIAXCapture> capture_;
    std::optional<std::size_t> loadedCall_;
    std::vector<quality::VoiceStream> streams_; // the loaded call's
    MemoryCharge charge_;
    std::optional<StreamsInSlices> loading_; // of loadedCall_, until made
    QTimer loadSlices_;
    int waitingRow_ = -1;                    // shown once its call is made
    std::optional<std::size_t> plottedCall_; // whose streams the plots show
    QTimer plotSteps_;
    int chartsPlotted_ = 0;
    StreamFiguresModel* figuresModel_;
    StreamPacketModel* packetModel_;
    QTableView* figuresTable_;
    QTableView* packetsTable_;
    ElidedLabel* packetsTitle_;
    QChart* jitterChart_;
    QChart* deltaChart_;
    QChart* lossChart_;
    QList<QSplitter*> splitters_;
};
