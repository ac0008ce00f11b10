#include "ui/StreamsView.h"
#include "ui/ElidedLabel.h"

#include "app/CallWriter.h"
#include "app/ChargedStreams.h"
#include "app/KvIAXCapture.h"
#include "ui/StreamPacketModel.h"
#include "ui/StreamFiguresModel.h"
#include "ui/ViewParts.h"

#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

QTableView* table(QAbstractItemModel* model, QWidget* parent) {
    QTableView* view = readOnlyTable(model, parent);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    return view;
}

// A chart on a tab of its own: stacked, three charts with their legends
// made the window taller than a 768-pixel screen, and left each too little
// height to write its axes' numbers.
QChart* chart(const QString& title, QTabWidget* tabs) {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    auto* view = new QChartView(chart, tabs);
    view->setRenderHint(QPainter::Antialiasing);
    tabs->addTab(view, title);
    return chart;
}

// At most about 4,000 points a series: in each bucket of packets the lowest
// and the highest, so a spike is never averaged away.
QList<QPointF> pointsOf(const std::vector<quality::StreamPacket>& packets, bool jitter) {
    QList<QPointF> points;
    const std::size_t bucket = std::max<std::size_t>(1, packets.size() / 2000);
    for (std::size_t start = 0; start < packets.size(); start += bucket) {
        const std::size_t end = std::min(packets.size(), start + bucket);
        auto value = [&](std::size_t i) {
            return jitter ? packets[i].jitterMs : packets[i].deltaMs;
        };
        std::size_t low = start, high = start;
        for (std::size_t i = start; i < end; ++i) {
            low = value(i) < value(low) ? i : low;
            high = value(i) > value(high) ? i : high;
        }
        for (const std::size_t i : {std::min(low, high), std::max(low, high)}) {
            points.append({packets[i].arrivalMs / 1000.0, value(i)});
            if (low == high) {
                break;
            }
        }
    }
    return points;
}

// The packets marked on a plot: late ones on the jitter, the first after a
// loss on the delta; at most about 500, evenly chosen. A mark is a graphics
// item of its own, a few tens of microseconds each to show, and a chart a
// few hundred pixels wide shows no more.
QList<QPointF> markedPoints(const std::vector<quality::StreamPacket>& packets, bool jitter) {
    constexpr qsizetype mostMarks = 500;
    QList<QPointF> points;
    for (const auto& packet : packets) {
        if (jitter ? packet.late : packet.lostBefore > 0) {
            points.append({packet.arrivalMs / 1000.0, jitter ? packet.jitterMs : packet.deltaMs});
        }
    }
    if (points.size() > mostMarks) {
        QList<QPointF> fewer;
        const qsizetype step = points.size() / mostMarks + 1;
        for (qsizetype i = 0; i < points.size(); i += step) {
            fewer.append(points[i]);
        }
        return fewer;
    }
    return points;
}

// The share of the frames sent so far that the capture saw lost, by
// `arrivalMs`: what the receiver's report should say where nothing was
// lost past the capture point.
double capturedLossPercent(const quality::VoiceStream& stream, double arrivalMs) {
    std::uint64_t lost = 0, received = 0;
    for (const auto& packet : stream.packets) {
        if (packet.arrivalMs > arrivalMs) {
            break;
        }
        lost += packet.lostBefore;
        received += packet.status == quality::PacketStatus::Duplicate ? 0 : 1;
    }
    return lost + received > 0
               ? 100.0 * static_cast<double>(lost) / static_cast<double>(lost + received)
               : 0.0;
}

} // namespace

StreamsView::StreamsView(QWidget* parent)
    : QWidget(parent), figuresModel_(new StreamFiguresModel(this)),
      packetModel_(new StreamPacketModel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitters_ = {splitter};
    layout->addWidget(splitter);
    figuresTable_ = table(figuresModel_, splitter);
    splitter->addWidget(figuresTable_);

    auto* lower = new QSplitter(Qt::Horizontal, splitter);
    splitters_.append(lower);
    auto* packets = new QWidget(lower);
    auto* packetsLayout = new QVBoxLayout(packets);
    packetsLayout->setContentsMargins(0, 0, 0, 0);
    packetsTitle_ = new ElidedLabel(packets);
    packetsLayout->addWidget(packetsTitle_);
    packetsTable_ = table(packetModel_, packets);
    packetsLayout->addWidget(packetsTable_);
    // Widths from the font, not from the rows: a stream may have an hour of packets.
    const int digit = packetsTable_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (const auto& [column, digits] : {std::pair{0, 8}, {1, 11}, {2, 12}, {3, 10}, {4, 10}}) {
        packetsTable_->setColumnWidth(column, digit * digits + 12);
    }
    lower->addWidget(packets);
    auto* plots = new QTabWidget(lower);
    plots->setDocumentMode(true);
    jitterChart_ = chart(tr("Jitter (ms)"), plots);
    deltaChart_ = chart(tr("Delta (ms)"), plots);
    lossChart_ = chart(tr("Loss reported by the receiver (%)"), plots);
    lower->addWidget(plots);
    lower->setSizes({420, 520});
    splitter->addWidget(lower);
    splitter->setSizes({110, 400});

    connect(figuresTable_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showPackets(current.row()); });
    connect(packetsTable_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (const auto* packet = packetModel_->packetAt(current.row())) {
                    emit frameActivated(packet->frameNumber);
                }
            });
    connect(packetsTable_, &QTableView::activated, this, [this](const QModelIndex& index) {
        if (const auto* packet = packetModel_->packetAt(index.row())) {
            emit frameActivated(packet->frameNumber);
        }
    });
    loadSlices_.setSingleShot(true);
    loadSlices_.setInterval(0);
    loadSlices_.setObjectName("stream slices");
    plotSteps_.setSingleShot(true);
    plotSteps_.setInterval(0);
    plotSteps_.setObjectName("stream charts");
    connect(&plotSteps_, &QTimer::timeout, this, &StreamsView::plotNextChart);
    connect(&loadSlices_, &QTimer::timeout, this, [this] {
        if (loadSlice() && waitingRow_ >= 0) {
            showPackets(waitingRow_);
        }
    });
    showPackets(-1);
}

void StreamsView::setCalls(const KvIAXCapture* capture,
                           std::vector<quality::StreamFigures> figures) {
    capture_ = capture;
    forgetCall();
    figuresModel_->setFigures(std::move(figures));
    // Sized to the first rows: thousands of streams are not all measured.
    figuresTable_->horizontalHeader()->setResizeContentsPrecision(20);
    figuresTable_->resizeColumnsToContents();
    if (!figuresModel_->figures().empty()) {
        figuresTable_->selectRow(0);
    }
    showPackets(figuresModel_->figures().empty() ? -1 : 0);
}

int StreamsView::streamCount() const {
    return figuresModel_->rowCount();
}

void StreamsView::forgetCall() {
    loadSlices_.stop();
    loading_.reset();
    waitingRow_ = -1;
    loadedCall_.reset();
    streams_.clear();
    charge_ = MemoryCharge{};
}

bool StreamsView::loadCall(std::size_t call) {
    if (loadedCall_ == call) {
        return !loading_ || loadSlice();
    }
    forgetCall();
    loadedCall_ = call;
    std::string refusal;
    if (capture_ != nullptr && !capture_->releasesFollowedFrames()) {
        loading_ = StreamsInSlices::start(*capture_, {call}, refusal);
    } else if (capture_ != nullptr) {
        // Records let go of: decoded again from the file, at once.
        if (auto made = ChargedStreams::of(*capture_, {call}, refusal)) {
            streams_ = std::move(made->streams);
            charge_ = std::move(made->charge);
        }
    }
    if (!refusal.empty()) {
        emit refused(QString::fromStdString(refusal));
    }
    return !loading_ || loadSlice();
}

bool StreamsView::loadSlice() {
    if (loading_ && (capture_ == nullptr ||
                     !loading_->stepUntil(*capture_, std::chrono::steady_clock::now() +
                                                         std::chrono::milliseconds(10)))) {
        loading_.reset(); // the capture or its list went: nothing to show
    }
    if (loading_ && !loading_->done()) {
        loadSlices_.start();
        return false;
    }
    loadSlices_.stop();
    if (loading_) {
        ChargedStreams made = loading_->finish(*capture_);
        loading_.reset();
        streams_ = std::move(made.streams);
        charge_ = std::move(made.charge);
    }
    return true;
}

void StreamsView::showPackets(int row) {
    if (row < 0 || row >= streamCount()) {
        packetModel_->setPackets({});
        packetsTitle_->setText(figuresModel_->figures().empty()
                                   ? tr("Select calls to see their voice streams.")
                                   : tr("Select a stream to see its packets."));
        forgetCall();
        plot();
        plottedCall_.reset();
        return;
    }
    const auto& figures = figuresModel_->figuresAt(row);
    packetsTitle_->setText(tr("Call %1, %2 to %3 (%4)")
                               .arg(figures.call + 1)
                               .arg(QString::fromStdString(figures.source.text()),
                                    QString::fromStdString(figures.destination.text()),
                                    figures.fromCaller ? tr("caller") : tr("callee")));
    if (!loadCall(figures.call)) {
        // Shown once made; what was shown of another call goes meanwhile.
        waitingRow_ = row;
        packetModel_->setPackets({});
        if (plottedCall_) {
            plot();
            plottedCall_.reset();
        }
        return;
    }
    waitingRow_ = -1;
    std::vector<quality::StreamPacket> packets;
    for (const auto& stream : streams_) {
        if (stream.figures.fromCaller == figures.fromCaller) {
            packets = stream.packets;
        }
    }
    packetModel_->setPackets(std::move(packets));
    if (plottedCall_ != loadedCall_) {
        plot();
        plottedCall_ = loadedCall_;
    }
}

void StreamsView::plot() {
    // A chart at each turn of the event loop: the three of a long call take
    // tens of milliseconds together.
    chartsPlotted_ = 0;
    plotSteps_.start();
}

void StreamsView::plotNextChart() {
    switch (chartsPlotted_++) {
    case 0:
        plotTimes(jitterChart_, true);
        break;
    case 1:
        plotTimes(deltaChart_, false);
        break;
    default:
        plotReportedLoss();
        return;
    }
    plotSteps_.start();
}

void StreamsView::plotTimes(QChart* chart, bool jitter) {
    const auto [time, value] = resetChart(chart, tr("seconds since the call's first frame"));
    double highest = 1, latest = 1;
    const auto add = [&](QXYSeries* series) {
        for (const QPointF& point : series->points()) {
            highest = std::max(highest, point.y());
            latest = std::max(latest, point.x());
        }
        chart->addSeries(series);
        series->attachAxis(time);
        series->attachAxis(value);
    };
    for (const auto& stream : streams_) {
        const QString name = tr("call %1 %2")
                                 .arg(stream.figures.call + 1)
                                 .arg(stream.figures.fromCaller ? tr("caller") : tr("callee"));
        auto* series = new QLineSeries;
        series->setName(name);
        series->replace(pointsOf(stream.packets, jitter));
        add(series);
        // Late frames on the jitter, frames after a loss on the delta.
        auto* marks = new QScatterSeries;
        marks->setName(jitter ? tr("%1 late").arg(name) : tr("%1 after a loss").arg(name));
        marks->setMarkerSize(7);
        marks->setColor(jitter ? QColor(0xC0, 0x20, 0x20) : QColor(0x60, 0x20, 0xA0));
        marks->replace(markedPoints(stream.packets, jitter));
        if (marks->count() > 0) {
            add(marks);
        } else {
            delete marks;
        }
        if (jitter && !stream.reports.empty()) {
            // What the receiver said of its jitter, beside what the capture saw.
            auto* reported = new QScatterSeries;
            reported->setName(tr("%1 reported").arg(name));
            reported->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
            reported->setMarkerSize(8);
            for (const auto& report : stream.reports) {
                if (report.jitter) {
                    reported->append(report.arrivalMs / 1000.0, *report.jitter);
                }
            }
            add(reported);
        }
    }
    time->setRange(0, latest);
    value->setRange(0, highest * 1.1);
}

void StreamsView::plotReportedLoss() {
    QChart* chart = lossChart_;
    const auto [time, value] = resetChart(chart, tr("seconds since the call's first frame"));
    double highest = 1, latest = 1;
    for (const auto& stream : streams_) {
        if (stream.reports.empty()) {
            continue;
        }
        // The receiver's share of frames lost, and the capture's own count
        // of them up to each report.
        auto* reported = new QLineSeries;
        reported->setName(tr("call %1 %2 reported")
                              .arg(stream.figures.call + 1)
                              .arg(stream.figures.fromCaller ? tr("caller") : tr("callee")));
        auto* captured = new QLineSeries;
        captured->setName(tr("call %1 %2 captured")
                              .arg(stream.figures.call + 1)
                              .arg(stream.figures.fromCaller ? tr("caller") : tr("callee")));
        captured->setPen(QPen(Qt::DashLine));
        for (const auto& report : stream.reports) {
            const double at = report.arrivalMs / 1000.0;
            if (report.lossPercent) {
                reported->append(at, *report.lossPercent);
            }
            captured->append(at, capturedLossPercent(stream, report.arrivalMs));
            latest = std::max(latest, at);
        }
        for (QLineSeries* series : {reported, captured}) {
            for (const QPointF& point : series->points()) {
                highest = std::max(highest, point.y());
            }
            chart->addSeries(series);
            series->attachAxis(time);
            series->attachAxis(value);
        }
    }
    time->setRange(0, latest);
    value->setRange(0, highest * 1.1);
}
