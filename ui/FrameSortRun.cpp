#include "ui/FrameSortRun.h"

#include "app/KvIAXCapture.h"
#include "ui/FrameTableModel.h"

#include <QElapsedTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <limits>
#include <numeric>
#include <string_view>

namespace {

// Reading keys stops after this long and goes on at the next turn of the loop.
constexpr qint64 sliceNanoseconds = 8'000'000;

enum class KeyKind { Number, Time, Address, Text, FieldNumber };

// What a column's values sort by, from the facts where they hold it.
KeyKind kindOf(const QString& key) {
    if (key == "frame.number" || key == "frame.len" || key == "timestamp" || key == "scall" ||
        key == "dcall" || key == "sourcePort" || key == "destinationPort") {
        return KeyKind::Number;
    }
    if (key == "captured" || key == "time") {
        return KeyKind::Time;
    }
    if (key == "source" || key == "destination") {
        return KeyKind::Address;
    }
    return KeyKind::Text;
}

std::int64_t numberOf(const QString& key, const FrameFacts& facts, std::uint32_t frame) {
    if (key == "frame.number") {
        return frame;
    }
    if (key == "frame.len") {
        return facts.wireLength;
    }
    if (key == "timestamp") {
        return facts.iaxTimestamp;
    }
    if (key == "scall") {
        return facts.sourceCall;
    }
    if (key == "dcall") {
        return facts.destinationCall;
    }
    return key == "sourcePort" ? facts.sourcePort : facts.destinationPort;
}

// An address as bytes that sort as the address: IPv4 first, then IPv6.
std::string addressOf(const KvIAXFrame& frame, bool source) {
    const FrameFacts& facts = frame.facts();
    if (facts.family() == AddressFamily::IPv6 && frame.ipv6Addresses() != nullptr) {
        const auto& bytes =
            source ? frame.ipv6Addresses()->source : frame.ipv6Addresses()->destination;
        return std::string(1, '\x06') + std::string(bytes.begin(), bytes.end());
    }
    const std::uint32_t address = source ? facts.sourceAddress : facts.destinationAddress;
    return {'\x04', static_cast<char>(address >> 24), static_cast<char>(address >> 16),
            static_cast<char>(address >> 8), static_cast<char>(address)};
}

// A field column sorts by its field's first value where it is a number, by
// its text otherwise.
KeyKind kindOfColumn(const FrameTableModel& model, int column) {
    const QString key = model.keyOfColumn(column);
    if (key.startsWith(FrameTableModel::fieldColumnKey)) {
        return model.isNumericFieldColumn(column) ? KeyKind::FieldNumber : KeyKind::Text;
    }
    return kindOf(key);
}

} // namespace

void TextKeys::append(std::string_view text) {
    constexpr std::size_t poolBytes = 1 << 20;
    if (pools_.empty() || pools_.back().size() + text.size() > pools_.back().capacity()) {
        pools_.emplace_back().reserve(std::max(poolBytes, text.size()));
    }
    std::string& pool = pools_.back();
    places_.push_back({static_cast<std::uint32_t>(pools_.size() - 1),
                       static_cast<std::uint32_t>(pool.size()),
                       static_cast<std::uint32_t>(text.size())});
    pool += text;
}

FrameSortRun::FrameSortRun(FrameTableModel& model, int column, Qt::SortOrder order, QObject* parent)
    : QObject(parent), model_(model), column_(column), order_(order) {
    slices_.setInterval(0);
    slices_.setObjectName("sort slices");
    connect(&slices_, &QTimer::timeout, this, &FrameSortRun::readSlice);
    connect(&sorting_, &QFutureWatcher<FrameTableModel::SortedRows>::finished, this, [this] {
        model_.setOrder(sorting_.future().takeResult());
        done_ = true;
        emit finished();
    });
}

FrameSortRun::~FrameSortRun() {
    slices_.stop();
    // A result taken leaves its future never finished: wait only for one running.
    if (!done_) {
        sorting_.waitForFinished();
    }
}

void FrameSortRun::start() {
    // The rows shown now are read a slice at a time with their keys: at
    // tens of millions, even their frame numbers take a while.
    rows_ = static_cast<std::size_t>(model_.rowCount());
    frames_.reserve(rows_);
    const KeyKind kind = kindOfColumn(model_, column_);
    numeric_ = kind == KeyKind::Number || kind == KeyKind::Time || kind == KeyKind::FieldNumber;
    (numeric_ ? numbers_.reserve(rows_) : texts_.reserve(rows_));
    slices_.start();
}

void FrameSortRun::readSlice() {
    const KvIAXCapture* capture = model_.capture();
    if (capture == nullptr) {
        slices_.stop();
        return;
    }
    if (static_cast<std::size_t>(model_.rowCount()) < rows_) {
        // Rows went (another list): there is nothing left to sort.
        slices_.stop();
        done_ = true;
        emit finished();
        return;
    }
    const FrameList& list = capture->iaxFrames();
    const QString key = model_.keyOfColumn(column_);
    const KeyKind kind = kindOfColumn(model_, column_);
    QElapsedTimer clock;
    clock.start();
    for (; next_ < rows_; ++next_) {
        // The clock is looked at every 256 rows: at tens of millions of
        // rows, a block of them now and then takes tens of times as long.
        if ((next_ & 255) == 0 && clock.nsecsElapsed() > sliceNanoseconds) {
            emit progressed();
            return;
        }
        if (next_ == frames_.size()) {
            const auto row = static_cast<int>(next_);
            model_.appendShownFrames(row, static_cast<int>(std::min(next_ + 1024, rows_)), frames_);
        }
        const std::uint32_t frame = frames_[next_];
        const KvIAXFrame& record = *list[frame - 1];
        const FrameFacts& facts = record.facts();
        switch (kind) {
        case KeyKind::Number:
            numbers_.push_back(numberOf(key, facts, frame));
            break;
        case KeyKind::Time:
            numbers_.push_back(facts.captureSeconds * 1'000'000'000 + facts.captureNanoseconds);
            break;
        case KeyKind::Address:
            texts_.append(addressOf(record, key == "source"));
            break;
        case KeyKind::FieldNumber: // frames without the field first
            numbers_.push_back(model_.fieldNumberAt(static_cast<int>(next_), column_)
                                   .value_or(std::numeric_limits<std::int64_t>::min()));
            break;
        case KeyKind::Text: {
            const auto row = static_cast<int>(next_);
            texts_.append(model_.index(row, column_).data().toString().toStdString());
            break;
        }
        }
    }
    slices_.stop();
    sortKeys();
}

void FrameSortRun::sortKeys() {
    sorting_.setFuture(QtConcurrent::run(
        [frames = std::move(frames_), numbers = std::move(numbers_), texts = std::move(texts_),
         numeric = numeric_, descending = order_ == Qt::DescendingOrder]() mutable {
            std::vector<std::uint32_t> rows(frames.size());
            std::iota(rows.begin(), rows.end(), 0u);
            const auto less = [&](std::uint32_t a, std::uint32_t b) {
                if (numeric) {
                    return descending ? numbers[b] < numbers[a] : numbers[a] < numbers[b];
                }
                return descending ? texts[b] < texts[a] : texts[a] < texts[b];
            };
            // Equal keys keep the order they were shown in.
            std::stable_sort(rows.begin(), rows.end(), less);
            std::vector<std::uint32_t> order(frames.size());
            for (std::size_t i = 0; i < rows.size(); ++i) {
                order[i] = frames[rows[i]];
            }
            // The keys are let go of before the order is handed over: what
            // the task holds would go only after the main thread heard of
            // it, giving back a gigabyte while the next sort reads its keys.
            frames = {};
            numbers = {};
            texts = {};
            rows = {};
            return FrameTableModel::sortedRows(std::move(order));
        }));
}
