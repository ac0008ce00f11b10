#include "ui/StatisticsWindows.h"
#include "ui/ElidedLabel.h"

#include "ui/FramesInSlices.h"

#include "app/CallWriter.h"
#include "app/CaptureFilter.h"
#include "app/CaptureStatistics.h"
#include "app/KvIAXCapture.h"
#include "dissect/FrameDisplay.h"
#include "ui/ViewParts.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

// A dialog of one read-only, sortable table, with Copy (as tab-separated text).
void showTable(QWidget* parent, const QString& title, const QStringList& headers,
               const std::vector<QStringList>& rows) {
    auto* dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    auto* layout = new QVBoxLayout(dialog);
    auto* table =
        new QTableWidget(static_cast<int>(rows.size()), static_cast<int>(headers.size()), dialog);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        for (int column = 0; column < headers.size(); ++column) {
            auto* item = new QTableWidgetItem;
            const QString text = rows[static_cast<std::size_t>(row)].value(column);
            bool number = false;
            const double value = text.toDouble(&number);
            // Numbers sort as numbers.
            item->setData(Qt::DisplayRole, number ? QVariant(value) : QVariant(text));
            table->setItem(row, column, item);
        }
    }
    // Sortable from the header, shown in the order given until then.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QPushButton* copy = buttons->addButton(QObject::tr("&Copy"), QDialogButtonBox::ActionRole);
    QObject::connect(copy, &QPushButton::clicked, dialog, [headers, rows] {
        QString text = headers.join('\t') + '\n';
        for (const QStringList& row : rows) {
            text += row.join('\t') + '\n';
        }
        QGuiApplication::clipboard()->setText(text);
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    // Every column seen where the screen allows.
    dialog->resize(std::clamp(table->horizontalHeader()->length() + 48, 480, 1200), 420);
    dialog->show();
}

QString timeText(const calls::CaptureTime& time) {
    std::string out; // the same text the listings give
    FrameFacts facts;
    facts.captureSeconds = time.seconds;
    facts.captureNanoseconds = time.nanoseconds;
    framedisplay::appendCapturedText(out, facts);
    return QString::fromStdString(out);
}

double seconds(const calls::CaptureTime& from, const calls::CaptureTime& to) {
    return static_cast<double>(to.seconds - from.seconds) +
           (static_cast<double>(to.nanoseconds) - static_cast<double>(from.nanoseconds)) / 1e9;
}

void showPropertiesTable(QWidget* parent, const capturestatistics::Properties& p) {
    const QLocale locale;
    const std::vector<QStringList> rows = {
        {QObject::tr("File"), QString::fromStdString(p.file)},
        {QObject::tr("Format"), QString::fromStdString(p.format)},
        {QObject::tr("Size"),
         p.fileSize
             ? QObject::tr("%1 bytes").arg(locale.toString(static_cast<qulonglong>(*p.fileSize)))
             : QString()},
        {QObject::tr("Link type"),
         QStringLiteral("%1 (%2)").arg(QString::fromStdString(p.linkName)).arg(p.linkType)},
        {QObject::tr("Frames"), locale.toString(static_cast<qulonglong>(p.frames))},
        {QObject::tr("Bytes on the wire"), locale.toString(static_cast<qulonglong>(p.bytes))},
        {QObject::tr("First frame"), p.first ? timeText(*p.first) : QString()},
        {QObject::tr("Last frame"), p.last ? timeText(*p.last) : QString()},
        {QObject::tr("Duration"), QObject::tr("%1 s").arg(p.durationSeconds, 0, 'f', 3)},
        {QObject::tr("Average rate"), QObject::tr("%1 frames/s, %2 bytes/s")
                                          .arg(p.framesPerSecond, 0, 'f', 1)
                                          .arg(p.bytesPerSecond, 0, 'f', 0)},
    };
    showTable(parent, QObject::tr("Capture Properties"),
              {QObject::tr("Property"), QObject::tr("Value")}, rows);
}

void showCountsTable(QWidget* parent, const std::vector<capturestatistics::Count>& counts,
                     bool ofCalls) {
    std::uint64_t total = 0;
    for (const auto& count : counts) {
        total += count.frames;
    }
    std::vector<QStringList> rows;
    for (const auto& count : counts) {
        rows.push_back({QString::fromStdString(count.type), QString::fromStdString(count.subclass),
                        QString::number(count.frames), QString::number(count.bytes),
                        QString::number(100.0 * static_cast<double>(count.frames) /
                                            static_cast<double>(std::max<std::uint64_t>(total, 1)),
                                        'f', 2)});
    }
    showTable(parent,
              ofCalls ? QObject::tr("Frame Counts of the Selected Calls")
                      : QObject::tr("Frame Counts"),
              {QObject::tr("Type"), QObject::tr("Subclass"), QObject::tr("Frames"),
               QObject::tr("Bytes"), QObject::tr("Percent")},
              rows);
}

void showConversationsTable(QWidget* parent,
                            const std::vector<capturestatistics::Conversation>& conversations) {
    std::vector<QStringList> rows;
    for (const auto& c : conversations) {
        rows.push_back({QString::fromStdString(c.a.text()), QString::fromStdString(c.b.text()),
                        QString::number(c.framesAtoB), QString::number(c.framesBtoA),
                        QString::number(c.bytes), timeText(c.first),
                        QString::number(seconds(c.first, c.last), 'f', 3)});
    }
    showTable(parent, QObject::tr("Conversations"),
              {QObject::tr("Address A"), QObject::tr("Address B"), QObject::tr("Frames A to B"),
               QObject::tr("Frames B to A"), QObject::tr("Bytes"), QObject::tr("Start"),
               QObject::tr("Duration (s)")},
              rows);
}

} // namespace

void showProperties(QWidget* parent, const KvIAXCapture& capture) {
    auto sum = std::make_shared<capturestatistics::PropertiesSum>();
    FramesInSlices::start(
        parent, capture, nullptr, [sum](const KvIAXFrame& frame) { sum->add(frame); },
        [parent, sum](const KvIAXCapture& summed) {
            showPropertiesTable(parent, sum->finish(summed));
        });
}

void showFrameCounts(QWidget* parent, const KvIAXCapture& capture,
                     FramesInSlices::FrameNumbers callFrames) {
    const bool ofCalls = callFrames != nullptr;
    auto sum = std::make_shared<capturestatistics::CountsSum>();
    FramesInSlices::start(
        parent, capture, std::move(callFrames), [sum](const KvIAXFrame& frame) { sum->add(frame); },
        [parent, sum, ofCalls](const KvIAXCapture&) {
            showCountsTable(parent, sum->finish(), ofCalls);
        });
}

void showConversations(QWidget* parent, const KvIAXCapture& capture) {
    auto sum = std::make_shared<capturestatistics::ConversationsSum>();
    FramesInSlices::start(
        parent, capture, nullptr, [sum](const KvIAXFrame& frame) { sum->add(frame); },
        [parent, sum](const KvIAXCapture&) {
            showConversationsTable(parent, sum->conversations());
        });
}

IoGraphDialog::IoGraphDialog(KvIAXCapture& capture, QWidget* parent)
    : QDialog(parent), capture_(&capture), interval_(new QComboBox(this)),
      status_(new ElidedLabel(this)), chart_(new QChart) {
    setWindowTitle(tr("IO Graph"));
    auto* layout = new QVBoxLayout(this);
    view_ = new QChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing);
    layout->addWidget(view_, 1);
    auto* form = new QFormLayout;
    for (const double seconds : {0.01, 0.1, 1.0, 10.0, 60.0}) {
        interval_->addItem(seconds < 1 ? tr("%1 ms").arg(seconds * 1000) : tr("%1 s").arg(seconds),
                           seconds);
    }
    // The longest interval that still gives the capture twenty points.
    interval_->setCurrentIndex(0);
    if (const FrameList& frames = capture.iaxFrames(); !frames.empty()) {
        const auto& first = frames.front()->facts();
        const auto& last = frames.back()->facts();
        const double span = static_cast<double>(last.captureSeconds - first.captureSeconds) +
                            (static_cast<double>(last.captureNanoseconds) -
                             static_cast<double>(first.captureNanoseconds)) /
                                1e9;
        for (int index = interval_->count() - 1; index > 0; --index) {
            if (span / interval_->itemData(index).toDouble() >= 20) {
                interval_->setCurrentIndex(index);
                break;
            }
        }
    }
    seconds_ = interval_->currentData().toDouble();
    form->addRow(tr("&Interval:"), interval_);
    for (int line = 0; line < 3; ++line) {
        filters_[line] = new QLineEdit(this);
        filters_[line]->setPlaceholderText(tr("a display filter, e.g. iax2.type == 2"));
        form->addRow(tr("Filter &%1:").arg(line + 1), filters_[line]);
        connect(filters_[line], &QLineEdit::returnPressed, this, &IoGraphDialog::apply);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* applyButton = buttons->addButton(tr("&Apply"), QDialogButtonBox::ApplyRole);
    QPushButton* save = buttons->addButton(tr("&Save As..."), QDialogButtonBox::ActionRole);
    connect(applyButton, &QPushButton::clicked, this, &IoGraphDialog::apply);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save IO Graph"), QString(),
                                                          tr("PNG (*.png);;SVG (*.svg)"));
        if (!path.isEmpty() && !exportTo(path)) {
            QApplication::beep();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    layout->addWidget(status_);
    connect(interval_, &QComboBox::currentIndexChanged, this,
            [this] { setInterval(interval_->currentData().toDouble()); });
    slices_.setInterval(0);
    connect(&slices_, &QTimer::timeout, this, &IoGraphDialog::countSlice);
    resize(820, 520);
    apply();
}

IoGraphDialog::~IoGraphDialog() = default;

void IoGraphDialog::setInterval(double seconds) {
    seconds_ = seconds;
    apply();
}

void IoGraphDialog::setFilter(int line, const QString& expression) {
    filters_[line]->setText(expression);
}

void IoGraphDialog::apply() {
    slices_.stop();
    status_->clear();
    running_.clear();
    names_.clear();
    counts_.clear();
    next_ = 0;
    if (capture_ == nullptr) {
        return;
    }
    running_.push_back(nullptr);
    names_.push_back(tr("all frames"));
    for (QLineEdit* line : filters_) {
        const std::string text = line->text().trimmed().toStdString();
        if (text.empty()) {
            continue;
        }
        std::string error;
        auto compiled = filter::DisplayFilter::compile(text, error);
        auto runner =
            compiled ? std::make_unique<CaptureFilter>(*capture_, std::move(*compiled)) : nullptr;
        if (!runner || !runner->open(error)) {
            status_->setText(tr("%1: %2").arg(line->text(), QString::fromStdString(error)));
            return;
        }
        runner->refresh();
        running_.push_back(std::move(runner));
        names_.push_back(line->text());
    }
    counts_.assign(running_.size(), {});
    slices_.start();
}

void IoGraphDialog::countSlice() {
    if (capture_ == nullptr) {
        slices_.stop();
        return;
    }
    const FrameList& frames = capture_->iaxFrames();
    if (frames.empty()) {
        slices_.stop();
        plot();
        return;
    }
    const auto& first = frames.front()->facts();
    QElapsedTimer clock;
    clock.start();
    for (; next_ < frames.size(); ++next_) {
        if ((next_ & 255) == 0 && clock.elapsed() > 10) {
            status_->setText(tr("counting (%1 %)").arg(100 * next_ / frames.size()));
            return;
        }
        const FrameFacts& facts = frames[next_]->facts();
        const double since =
            static_cast<double>(facts.captureSeconds - first.captureSeconds) +
            (static_cast<double>(facts.captureNanoseconds) - first.captureNanoseconds) / 1e9;
        if (since < 0 || since / seconds_ > 1e7) {
            continue; // before the first frame, or absurdly far after it
        }
        const auto slot = static_cast<std::size_t>(since / seconds_);
        for (std::size_t line = 0; line < running_.size(); ++line) {
            std::string why;
            if (running_[line] && running_[line]->test(static_cast<std::uint32_t>(next_ + 1),
                                                       why) != filter::Verdict::Match) {
                continue;
            }
            auto& counts = counts_[line];
            if (counts.size() <= slot) {
                counts.resize(slot + 1, 0);
            }
            ++counts[slot];
        }
    }
    slices_.stop();
    status_->clear();
    plot();
}

void IoGraphDialog::plot() {
    const auto [time, value] = resetChart(chart_, tr("seconds since the first frame"));
    value->setTitleText(tr("frames per %1").arg(interval_->currentText()));
    double highest = 1, latest = seconds_;
    for (std::size_t line = 0; line < counts_.size(); ++line) {
        auto* series = new QLineSeries;
        series->setName(names_[line]);
        // At most about 4,000 points: each bucket's highest, so a burst shows.
        const auto& counts = counts_[line];
        const std::size_t bucket = std::max<std::size_t>(1, counts.size() / 4000);
        QList<QPointF> points;
        for (std::size_t start = 0; start < counts.size(); start += bucket) {
            std::uint64_t top = 0;
            for (std::size_t i = start; i < std::min(counts.size(), start + bucket); ++i) {
                top = std::max(top, counts[i]);
            }
            points.append({static_cast<double>(start) * seconds_, static_cast<double>(top)});
            highest = std::max(highest, static_cast<double>(top));
        }
        latest = std::max(latest, static_cast<double>(counts.size()) * seconds_);
        series->replace(points);
        series->setPointsVisible(points.size() < 200); // a short capture's few points show
        chart_->addSeries(series);
        series->attachAxis(time);
        series->attachAxis(value);
    }
    time->setRange(0, latest);
    value->setRange(0, highest * 1.1);
    time->applyNiceNumbers();
    value->applyNiceNumbers();
}

bool IoGraphDialog::exportTo(const QString& path) {
    if (path.endsWith(".svg", Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(view_->size());
        svg.setViewBox(view_->rect());
        QPainter painter(&svg);
        view_->render(&painter);
        return painter.end();
    }
    return view_->grab().save(path, "PNG");
}
