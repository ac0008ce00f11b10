#include "ui/ProblemsView.h"
#include "ui/ElidedLabel.h"

#include "ui/ProblemTableModel.h"
#include "ui/UniformRowsView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

ProblemsView::ProblemsView(QWidget* parent) : QWidget(parent), model_(new ProblemTableModel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    const QStringList saved = QSettings().value("problems/hiddenSeverities").toStringList();
    const char* names[] = {QT_TR_NOOP("&Errors"), QT_TR_NOOP("&Warnings"), QT_TR_NOOP("&Notes")};
    for (int severity = 0; severity < 3; ++severity) {
        shown_[severity] = new QCheckBox(tr(names[severity]), this);
        shown_[severity]->setChecked(!saved.contains(QString::number(severity)));
        connect(shown_[severity], &QCheckBox::toggled, this, &ProblemsView::applyShown);
        bar->addWidget(shown_[severity]);
    }
    summary_ = new ElidedLabel(this);
    bar->addWidget(summary_, 1);
    layout->addLayout(bar);

    table_ = new UniformRowsView(this);
    table_->setModel(model_);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = table_->horizontalHeader();
    header->setStretchLastSection(true);
    // A header click sorts; the model sorts its own rows.
    header->setSortIndicatorShown(true);
    connect(header, &QHeaderView::sortIndicatorChanged, model_,
            [this](int column, Qt::SortOrder order) { model_->sort(column, order); });
    header->setSortIndicator(ProblemTableModel::Frame, Qt::AscendingOrder);
    const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (const auto& [column, digits] : {std::pair{0, 9}, {1, 16}, {2, 9}, {3, 6}}) {
        table_->setColumnWidth(column, digit * digits + 12);
    }
    layout->addWidget(table_, 1);
    const auto choose = [this](const QModelIndex& index, bool open) {
        if (const auto* problem = model_->problemAt(index.row())) {
            emit frameChosen(problem->frame, open);
        }
    };
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [choose](const QModelIndex& index) { choose(index, false); });
    connect(table_, &QAbstractItemView::activated, this,
            [choose](const QModelIndex& index) { choose(index, true); });
    applyShown();
}

void ProblemsView::setProblems(const KvIAXCapture* capture, SharedProblems problems,
                               std::optional<ProblemTableModel::ArrangedRows> arranged,
                               std::optional<ProblemTableModel::Counts> counts) {
    model_->setProblems(capture, std::move(problems), std::move(arranged), counts);
    updateSummary();
}

void ProblemsView::setSeverityShown(quality::Severity severity, bool shown) {
    shown_[static_cast<int>(severity)]->setChecked(shown);
}

void ProblemsView::applyShown() {
    model_->setShown(shown_[0]->isChecked(), shown_[1]->isChecked(), shown_[2]->isChecked());
    QStringList hidden;
    for (int severity = 0; severity < 3; ++severity) {
        if (!shown_[severity]->isChecked()) {
            hidden << QString::number(severity);
        }
    }
    QSettings().setValue("problems/hiddenSeverities", hidden);
    updateSummary();
}

void ProblemsView::updateSummary() {
    const auto counts = model_->counts();
    summary_->setText(
        tr("%1 errors, %2 warnings, %3 notes").arg(counts[0]).arg(counts[1]).arg(counts[2]));
}
