#include "ui/ProblemTableModel.h"

#include "ui/HeaderWords.h"
#include "app/KvIAXCapture.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <string>
#include <utility>

ProblemTableModel::ProblemTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ProblemTableModel::setProblems(const KvIAXCapture* capture, SharedProblems problems) {
    beginResetModel();
    capture_ = capture;
    problems_ = problems ? std::move(problems)
                         : std::make_shared<const std::vector<analysis::Problem>>();
    select();
    endResetModel();
}

void ProblemTableModel::setShown(bool errors, bool warnings, bool notes) {
    beginResetModel();
    shown_[0] = errors;
    shown_[1] = warnings;
    shown_[2] = notes;
    select();
    endResetModel();
}

void ProblemTableModel::select() {
    rows_.clear();
    for (std::size_t i = 0; i < problems_->size(); ++i) {
        if (shown_[static_cast<int>((*problems_)[i].severity())]) {
            rows_.push_back(i);
        }
    }
    arrange();
}

void ProblemTableModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> problemOf;
    for (const QModelIndex& index : before) {
        problemOf.push_back(rows_[static_cast<std::size_t>(index.row())]);
    }
    sortColumn_ = column;
    sortOrder_ = order;
    arrange();
    std::vector<int> rowOf(problems_->size(), -1);
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        rowOf[rows_[row]] = static_cast<int>(row);
    }
    QModelIndexList after;
    for (std::size_t i = 0; i < static_cast<std::size_t>(before.size()); ++i) {
        const QModelIndex& index = before[static_cast<qsizetype>(i)];
        after.append(createIndex(rowOf[problemOf[i]], index.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ProblemTableModel::arrange() {
    // The problems come in frame order: that order is their own, and a
    // fresh selection is in it already.
    if (sortColumn_ == Frame && sortOrder_ == Qt::AscendingOrder) {
        if (!std::is_sorted(rows_.begin(), rows_.end())) {
            std::sort(rows_.begin(), rows_.end());
        }
        return;
    }
    const auto& problems = *problems_;
    auto key = [&](std::size_t i) -> std::pair<std::uint64_t, std::string> {
        const analysis::Problem& problem = problems[i];
        switch (sortColumn_) {
        case Severity:
            return {static_cast<std::uint64_t>(problem.severity()), {}};
        case Kind:
            return {0, analysis::kindName(problem.kind)};
        case Frame:
            return {problem.frame, {}};
        case Call:
            return {problem.call != analysis::Problem::noCall ? problem.call + 1ull : 0, {}};
        default:
            return {0, capture_ != nullptr ? analysis::problemText(problem, capture_->iaxFrames())
                                           : std::string()};
        }
    };
    std::vector<std::pair<std::pair<std::uint64_t, std::string>, std::size_t>> keyed;
    keyed.reserve(rows_.size());
    for (const std::size_t i : rows_) {
        keyed.emplace_back(key(i), i);
    }
    // Equal values keep the frame order, either way round.
    std::stable_sort(keyed.begin(), keyed.end(), [this](const auto& a, const auto& b) {
        return sortOrder_ == Qt::AscendingOrder ? a.first < b.first : b.first < a.first;
    });
    for (std::size_t row = 0; row < keyed.size(); ++row) {
        rows_[row] = keyed[row].second;
    }
}

std::array<int, 3> ProblemTableModel::counts() const {
    std::array<int, 3> counts{};
    for (const auto& problem : *problems_) {
        ++counts[static_cast<std::size_t>(problem.severity())];
    }
    return counts;
}

const analysis::Problem* ProblemTableModel::problemAt(int row) const {
    return row >= 0 && row < rowCount() ? &(*problems_)[rows_[static_cast<std::size_t>(row)]]
                                        : nullptr;
}

int ProblemTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ProblemTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant ProblemTableModel::data(const QModelIndex& index, int role) const {
    const analysis::Problem* problem = problemAt(index.row());
    if (problem == nullptr) {
        return {};
    }
    const bool hasCall = problem->call != analysis::Problem::noCall;
    if (role == Qt::ForegroundRole && index.column() == Severity) {
        static const QColor colours[] = {QColor(0xC0, 0x20, 0x20), QColor(0xA0, 0x70, 0x00),
                                         QColor(0x30, 0x60, 0xA0)};
        return QBrush(colours[static_cast<int>(problem->severity())]);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case Severity:
        return QString::fromUtf8(analysis::severityName(problem->severity()));
    case Kind:
        return QString::fromUtf8(analysis::kindName(problem->kind));
    case Frame:
        return problem->frame;
    case Call:
        return hasCall ? QVariant(static_cast<qulonglong>(problem->call + 1)) : QVariant();
    case Text:
        return capture_ != nullptr
                   ? QString::fromStdString(analysis::problemText(*problem, capture_->iaxFrames()))
                   : QString();
    default:
        return {};
    }
}

QVariant ProblemTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const titles[] = {"severity", "kind", "frame", "call", "text"};
    return section >= 0 && section < Columns ? headerWords(QString::fromUtf8(titles[section]))
                                             : QVariant();
}
