#pragma once

#include <QThreadPool>

#include <memory>
#include <utility>

// Frees a value on a worker. A table's rows, orders and lists reach
// hundreds of megabytes at tens of millions of frames, and giving their
// pages back would hold the main thread for tens of milliseconds. Taken by
// value: pass it with std::move, or std::exchange.
template <class Value> void letGoElsewhere(Value value) {
    auto held = std::make_shared<Value>(std::move(value));
    QThreadPool::globalInstance()->start([held = std::move(held)]() mutable { held.reset(); });
}
