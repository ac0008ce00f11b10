#include "ui/ProblemTableModel.h"

#include "ui/LetGoElsewhere.h"

#include "ui/HeaderWords.h"
#include "app/KvIAXCapture.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <string>
#include <utility>

ProblemTableModel::ProblemTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ProblemTableModel::setProblems(const KvIAXCapture* capture, SharedProblems problems,
                                    std::optional<ArrangedRows> arranged,
                                    std::optional<Counts> counts) {
    beginResetModel();
    capture_ = capture;
    problems_ =
        problems ? std::move(problems) : std::make_shared<const std::vector<quality::Problem>>();
    counts_ = counts ? *counts : countsOf(*problems_);
    if (arranged && arranged->arrangement == arrangement_) {
        letGoElsewhere(std::exchange(rows_, std::move(arranged->rows)));
    } else {
        select();
    }
    endResetModel();
}

void ProblemTableModel::setShown(bool errors, bool warnings, bool notes) {
    beginResetModel();
    arrangement_.shown = {errors, warnings, notes};
    select();
    endResetModel();
}

void ProblemTableModel::select() {
    letGoElsewhere(std::exchange(rows_, rowsOf(*problems_, arrangement_, capture_)));
}

void ProblemTableModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> problemOf;
    for (const QModelIndex& index : before) {
        problemOf.push_back(rows_[static_cast<std::size_t>(index.row())]);
    }
    arrangement_.column = column;
    arrangement_.order = order;
    select();
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

std::vector<std::size_t> ProblemTableModel::rowsOf(const std::vector<quality::Problem>& problems,
                                                   const Arrangement& arrangement,
                                                   const KvIAXCapture* capture) {
    std::vector<std::size_t> rows;
    rows.reserve(problems.size());
    for (std::size_t i = 0; i < problems.size(); ++i) {
        if (arrangement.shown[static_cast<std::size_t>(problems[i].severity())]) {
            rows.push_back(i);
        }
    }
    // The problems come in frame order: that order is their own, and a
    // fresh selection is in it already.
    if (arrangement.column == Frame && arrangement.order == Qt::AscendingOrder) {
        return rows;
    }
    auto key = [&](std::size_t i) -> std::pair<std::uint64_t, std::string> {
        const quality::Problem& problem = problems[i];
        switch (arrangement.column) {
        case Severity:
            return {static_cast<std::uint64_t>(problem.severity()), {}};
        case Kind:
            return {0, quality::kindName(problem.kind)};
        case Frame:
            return {problem.frame, {}};
        case Call:
            return {problem.call != quality::Problem::noCall ? problem.call + 1ull : 0, {}};
        default:
            return {0, capture != nullptr ? quality::problemText(problem, capture->iaxFrames())
                                          : std::string()};
        }
    };
    std::vector<std::pair<std::pair<std::uint64_t, std::string>, std::size_t>> keyed;
    keyed.reserve(rows.size());
    for (const std::size_t i : rows) {
        keyed.emplace_back(key(i), i);
    }
    // Equal values keep the frame order, either way round.
    const bool ascending = arrangement.order == Qt::AscendingOrder;
    std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto& a, const auto& b) {
        return ascending ? a.first < b.first : b.first < a.first;
    });
    for (std::size_t row = 0; row < keyed.size(); ++row) {
        rows[row] = keyed[row].second;
    }
    return rows;
}

ProblemTableModel::Counts
ProblemTableModel::countsOf(const std::vector<quality::Problem>& problems) {
    Counts counts{};
    for (const auto& problem : problems) {
        ++counts[static_cast<std::size_t>(problem.severity())];
    }
    return counts;
}

const quality::Problem* ProblemTableModel::problemAt(int row) const {
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
    const quality::Problem* problem = problemAt(index.row());
    if (problem == nullptr) {
        return {};
    }
    const bool hasCall = problem->call != quality::Problem::noCall;
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
        return QString::fromUtf8(quality::severityName(problem->severity()));
    case Kind:
        return QString::fromUtf8(quality::kindName(problem->kind));
    case Frame:
        return problem->frame;
    case Call:
        return hasCall ? QVariant(static_cast<qulonglong>(problem->call + 1)) : QVariant();
    case Text:
        return capture_ != nullptr
                   ? QString::fromStdString(quality::problemText(*problem, capture_->iaxFrames()))
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
