#pragma once

#include "quality/Problems.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class KvIAXCapture;

// A capture's problems, shared by the watch that works them out and the
// table that shows them: a long capture has millions.
using SharedProblems = std::shared_ptr<const std::vector<quality::Problem>>;

// The problems of a capture a row each (severity, kind, frame, call, text),
// those of the severities shown. A problem's text is made when its row is
// drawn. The model sorts its rows itself, on the problems' values: a long
// capture has millions of problems, and the default order, by frame, is
// the order they come in, so that a refresh sorts nothing.
class ProblemTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Severity, Kind, Frame, Call, Text, Columns };
    explicit ProblemTableModel(QObject* parent = nullptr);

    // Which problems show as rows, in which order.
    struct Arrangement {
        std::array<bool, 3> shown{true, true, true}; // by severity
        int column = Frame;
        Qt::SortOrder order = Qt::AscendingOrder;
        bool operator==(const Arrangement&) const = default;
    };
    // Rows arranged away from the main thread, for the arrangement they follow.
    struct ArrangedRows {
        Arrangement arrangement;
        std::vector<std::size_t> rows;
    };
    [[nodiscard]] Arrangement arrangement() const { return arrangement_; }
    // The rows of a list as an arrangement shows them. Safe on a worker for
    // any column but Text, whose values are read from the capture's frames.
    [[nodiscard]] static std::vector<std::size_t>
    rowsOf(const std::vector<quality::Problem>& problems, const Arrangement& arrangement,
           const KvIAXCapture* capture);

    // How many problems of each severity a list holds.
    using Counts = std::array<int, 3>;
    [[nodiscard]] static Counts countsOf(const std::vector<quality::Problem>& problems);

    // Shows a new list: in `arranged` where it still follows the model's
    // arrangement, else arranged here; `counts`, where given, are the list's
    // (counted elsewhere: millions of problems take a while).
    void setProblems(const KvIAXCapture* capture, SharedProblems problems,
                     std::optional<ArrangedRows> arranged = std::nullopt,
                     std::optional<Counts> counts = std::nullopt);
    // Which severities are shown.
    void setShown(bool errors, bool warnings, bool notes);
    [[nodiscard]] const quality::Problem* problemAt(int row) const;
    // How many problems of each severity there are, shown or not.
    [[nodiscard]] Counts counts() const { return counts_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void select();

    QPointer<const KvIAXCapture> capture_;
    SharedProblems problems_ = std::make_shared<const std::vector<quality::Problem>>();
    std::vector<std::size_t> rows_; // the problems shown
    Arrangement arrangement_;
    Counts counts_{};
};
