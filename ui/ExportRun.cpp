#include "ui/ExportRun.h"

#include "app/KvIAXCapture.h"
#include "ui/FrameTableModel.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

constexpr auto sliceTime = std::chrono::milliseconds(15);

} // namespace

ExportRun::Frames::Frames(const FrameTableModel& table)
    : shown(&table), runs{{0, table.rowCount()}} {}

ExportRun::ExportRun(const KvIAXCapture& capture, Frames frames, QObject* parent)
    : QObject(parent), capture_(&capture), firstFrame_(capture.firstFrame()),
      frames_(std::move(frames.listed)), total_(frames_.size()), shown_(frames.shown) {
    slices_.setInterval(0);
    slices_.setObjectName("export slices");
    connect(&slices_, &QTimer::timeout, this, &ExportRun::slice);
    connect(&copying_, &QFutureWatcher<std::string>::finished, this, [this] {
        const std::string error = copying_.result();
        end(error.empty(), error);
    });
    if (shown_ != nullptr) {
        const int rows = shown_->rowCount();
        total_ = 0;
        for (auto [first, last] : frames.runs) {
            first = std::max(first, 0);
            last = std::min(last, rows);
            if (first < last) {
                runs_.emplace_back(first, last);
                total_ += static_cast<std::size_t>(last - first);
            }
        }
        frames_.reserve(total_);
        const auto changed = [this] { shownChanged_ = true; };
        connect(shown_, &QAbstractItemModel::modelAboutToBeReset, this, changed);
        connect(shown_, &QAbstractItemModel::layoutAboutToBeChanged, this, changed);
        connect(shown_, &QAbstractItemModel::rowsAboutToBeRemoved, this, changed);
    }
}

ExportRun::~ExportRun() {
    copying_.waitForFinished(); // the worker writes a file this run named
}

ExportRun* ExportRun::packets(const KvIAXCapture& capture, Frames frames, std::string destination,
                              std::map<std::uint32_t, std::string> comments, QObject* parent) {
    auto* run = new ExportRun(capture, std::move(frames), parent);
    run->packetsWanted_ = true;
    run->capturePath_ = capture.lastRunFile();
    run->destination_ = std::move(destination);
    run->comments_ = std::move(comments);
    // At its size at once: grown as it is filled, it would be moved whole
    // within a slice.
    run->packets_.reserve(run->total_);
    run->slices_.start();
    return run;
}

ExportRun* ExportRun::dissections(const KvIAXCapture& capture, Frames frames,
                                  DissectionFormat format, const std::string& destination,
                                  QObject* parent) {
    auto* run = new ExportRun(capture, std::move(frames), parent);
    run->dissection_ = format;
    run->destination_ = destination;
    run->slices_.start();
    return run;
}

ExportRun* ExportRun::rows(const KvIAXCapture& capture, Frames frames, RowsText rowsText,
                           const std::string& destination, QObject* parent) {
    auto* run = new ExportRun(capture, std::move(frames), parent);
    run->rowsText_ = std::move(rowsText);
    run->rowsFile_ = std::make_unique<NewFile>(destination);
    run->slices_.start();
    return run;
}

std::size_t ExportRun::done() const {
    return writer_ ? writer_->written() : isListing() ? 0 : next_;
}

void ExportRun::slice() {
    if (capture_ == nullptr || capture_->firstFrame() != firstFrame_) {
        end(false, "the capture changed while it was exported");
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + sliceTime;
    if (isListing()) {
        if (!listShownRows(deadline)) {
            end(false, "the frames shown changed while they were listed");
            return;
        }
        if (isListing()) {
            emit progressed();
            return;
        }
    }
    if (dissection_ && !writer_) {
        // The writer keeps the frames.
        writer_ = std::make_unique<DissectionWriter>(*capture_, std::move(frames_), *dissection_,
                                                     destination_);
    }
    std::string error;
    bool ok = true;
    if (writer_) {
        ok = writer_->step(deadline, error);
        if (ok && writer_->done()) {
            ok = writer_->finish(error);
            end(ok, error);
            return;
        }
    } else if (rowsFile_) {
        ok = writeRows(deadline, error);
        if (ok && next_ >= frames_.size()) {
            ok = rowsFile_->commit();
            end(ok, rowsFile_->error());
            return;
        }
    } else if (packetsWanted_ && gatherPackets(deadline)) {
        slices_.stop();
        if (packets_.empty()) {
            end(false, "none of these frames is in the capture file");
            return;
        }
        // Sorting them and copying the packets read nothing of the capture.
        copying_.setFuture(QtConcurrent::run([packets = std::move(packets_), path = capturePath_,
                                              destination = destination_,
                                              comments = std::move(comments_)]() mutable {
            std::sort(packets.begin(), packets.end());
            packets.erase(std::unique(packets.begin(), packets.end()), packets.end());
            std::string why;
            if (!writePackets(path, packets, destination, exportFormatOf(destination), why,
                              comments)) {
                return why.empty() ? std::string("the packets could not be written") : why;
            }
            return std::string();
        }));
        return;
    }
    if (!ok) {
        end(false, error);
        return;
    }
    emit progressed();
}

bool ExportRun::listShownRows(std::chrono::steady_clock::time_point deadline) {
    if (shown_ == nullptr || shownChanged_) {
        return false;
    }
    constexpr int rowsAtOnce = 65'536;
    while (isListing() && std::chrono::steady_clock::now() <= deadline) {
        const auto [first, last] = runs_[run_];
        const int from = std::max(first, nextRow_);
        const int to = std::min(last, from + rowsAtOnce);
        shown_->appendShownFrames(from, to, frames_);
        nextRow_ = to;
        run_ += to >= last ? 1 : 0;
    }
    return true;
}

bool ExportRun::gatherPackets(std::chrono::steady_clock::time_point deadline) {
    // A frame's packet index says where its packet is in the last run's
    // file; earlier runs' packets are in files that later runs replaced.
    const FrameList& list = capture_->iaxFrames();
    for (; next_ < frames_.size(); ++next_) {
        if ((next_ & 1023) == 0 && std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        const std::uint32_t number = frames_[next_];
        if (number > capture_->lastRunFirstFrame() && number <= list.size()) {
            packets_.push_back(list[number - 1]->facts().packetIndex + 1);
        }
    }
    return true;
}

bool ExportRun::writeRows(std::chrono::steady_clock::time_point deadline, std::string& error) {
    constexpr std::size_t rowsAtOnce = 256;
    while (next_ < frames_.size() && std::chrono::steady_clock::now() <= deadline) {
        const std::size_t last = std::min(frames_.size(), next_ + rowsAtOnce);
        const std::vector<std::uint32_t> block(frames_.begin() + static_cast<long>(next_),
                                               frames_.begin() + static_cast<long>(last));
        const QByteArray text = rowsText_(block, next_ == 0).toUtf8();
        if (!rowsFile_->write({reinterpret_cast<const std::uint8_t*>(text.constData()),
                               static_cast<std::size_t>(text.size())})) {
            error = rowsFile_->error();
            return false;
        }
        next_ = last;
    }
    return true;
}

void ExportRun::end(bool ok, const std::string& error) {
    const QString why = QString::fromStdString(error); // it may be the file's own
    slices_.stop();
    writer_.reset(); // a file not committed is not made
    rowsFile_.reset();
    emit finished(ok, why);
}
