#pragma once

#include "quality/Problems.h"
#include "ui/ProblemTableModel.h"

#include <QWidget>

class KvIAXCapture;
class ProblemTableModel;
class QCheckBox;
class ElidedLabel;
class QLabel;
class UniformRowsView;

// What went wrong in the selected capture, as Wireshark's Expert Info lists
// it: a row per problem, sortable by any column, the severities shown
// chosen (and remembered); choosing a row selects its frame.
class ProblemsView final : public QWidget {
    Q_OBJECT
public:
    explicit ProblemsView(QWidget* parent = nullptr);

    void setProblems(const KvIAXCapture* capture, SharedProblems problems,
                     std::optional<ProblemTableModel::ArrangedRows> arranged = std::nullopt,
                     std::optional<ProblemTableModel::Counts> counts = std::nullopt);
    [[nodiscard]] UniformRowsView* table() const { return table_; }
    [[nodiscard]] const ProblemTableModel& model() const { return *model_; }
    // Shows or hides a severity, as its box does.
    void setSeverityShown(quality::Severity severity, bool shown);

signals:
    // A row became current (`open`: it was activated, to be looked at).
    void frameChosen(quint32 frameNumber, bool open);

private:
    void applyShown();
    void updateSummary();

    ProblemTableModel* model_;
    UniformRowsView* table_;
    QCheckBox* shown_[3];
    ElidedLabel* summary_;
};
