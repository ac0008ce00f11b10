#pragma once

#include "analysis/Problems.h"

#include <QAbstractTableModel>
#include <QPointer>

class KvIAXCapture;

// The problems of a capture a row each (severity, kind, frame, call, text),
// those of the severities shown. A problem's text is made when its row is
// drawn. Qt::UserRole gives each cell's value to sort by: the severity's
// rank, the frame and call as numbers.
class ProblemTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Severity, Kind, Frame, Call, Text, Columns };
    explicit ProblemTableModel(QObject* parent = nullptr);

    void setProblems(const KvIAXCapture* capture, std::vector<analysis::Problem> problems);
    // Which severities are shown.
    void setShown(bool errors, bool warnings, bool notes);
    [[nodiscard]] const analysis::Problem* problemAt(int row) const;
    // How many problems of each severity there are, shown or not.
    [[nodiscard]] std::array<int, 3> counts() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void select();

    QPointer<const KvIAXCapture> capture_;
    std::vector<analysis::Problem> problems_;
    std::vector<std::size_t> rows_; // the problems shown
    bool shown_[3] = {true, true, true};
};
