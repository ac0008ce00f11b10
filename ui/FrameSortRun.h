#pragma once

#include "ui/FrameTableModel.h"

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Sorts the frames a table shows by one column without holding the main
// thread: each frame's key is read on the main thread a slice at a time
// (numbers as numbers, addresses by their bytes, times as times, the rest
// as text), the keys are sorted on a worker, and the order is handed to the
// model when it is ready. A sort is stable: equal keys keep capture order.
// Text keys kept end to end in pools of a megabyte. Ten million strings of
// their own would be ten million small blocks, freed on the worker and merged
// later by whatever the main thread allocates next; one growing buffer would
// copy hundreds of megabytes at once as it grew.
class TextKeys final {
public:
    void reserve(std::size_t keys) { places_.reserve(keys); }
    void append(std::string_view text);
    [[nodiscard]] std::string_view operator[](std::size_t key) const {
        const Place& place = places_[key];
        return std::string_view(pools_[place.pool]).substr(place.begin, place.length);
    }

private:
    struct Place {
        std::uint32_t pool, begin, length;
    };
    std::vector<std::string> pools_;
    std::vector<Place> places_;
};

class FrameSortRun final : public QObject {
    Q_OBJECT
public:
    FrameSortRun(FrameTableModel& model, int column, Qt::SortOrder order,
                 QObject* parent = nullptr);
    ~FrameSortRun() override;
    void start();
    [[nodiscard]] bool isDone() const { return done_; }
    // How far it got: keys read, of how many.
    [[nodiscard]] std::size_t read() const { return next_; }
    [[nodiscard]] std::size_t total() const { return rows_; }

signals:
    void progressed();
    void finished();

private:
    void readSlice();
    void sortKeys();

    FrameTableModel& model_;
    int column_;
    Qt::SortOrder order_;
    bool numeric_ = true;
    std::size_t rows_ = 0;              // shown when it started
    std::vector<std::uint32_t> frames_; // theirs, in the order shown, as far as read
    std::vector<std::int64_t> numbers_;
    TextKeys texts_;
    std::size_t next_ = 0;
    QTimer slices_;
    QFutureWatcher<FrameTableModel::SortedRows> sorting_;
    bool done_ = false;
};
