#pragma once

#include "analysis/Problems.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <memory>
#include <vector>

class KvIAXCapture;

// A capture's problems, shared by the watch that works them out and the
// table that shows them: a long capture has millions.
using SharedProblems = std::shared_ptr<const std::vector<analysis::Problem>>;

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

    void setProblems(const KvIAXCapture* capture, SharedProblems problems);
    // Which severities are shown.
    void setShown(bool errors, bool warnings, bool notes);
    [[nodiscard]] const analysis::Problem* problemAt(int row) const;
    // How many problems of each severity there are, shown or not.
    [[nodiscard]] std::array<int, 3> counts() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void select();
    void arrange();

    QPointer<const KvIAXCapture> capture_;
    SharedProblems problems_ = std::make_shared<const std::vector<analysis::Problem>>();
    std::vector<std::size_t> rows_; // the problems shown
    bool shown_[3] = {true, true, true};
    int sortColumn_ = Frame;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
