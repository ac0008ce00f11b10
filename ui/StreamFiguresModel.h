#pragma once

#include "app/CallWriter.h"
#include "ui/RowOrder.h"

#include <QAbstractTableModel>

// The streams' figures a row each, in the columns of quorvex-dump --streams;
// a row's texts are made when it is drawn, so that thousands of streams
// cost nothing until they are looked at. They sort by any column, numbers
// as numbers.
class StreamFiguresModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit StreamFiguresModel(QObject* parent = nullptr);

    void setFigures(std::vector<quality::StreamFigures> figures);
    [[nodiscard]] const std::vector<quality::StreamFigures>& figures() const { return figures_; }
    // The figures a row shows.
    [[nodiscard]] const quality::StreamFigures& figuresAt(int row) const {
        return figures_[static_cast<std::size_t>(order_.itemAt(row))];
    }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    [[nodiscard]] const callwriter::Columns& columnsOf(int row) const;

    QStringList titles_;
    std::vector<quality::StreamFigures> figures_;
    mutable int cachedRow_ = -1;
    mutable callwriter::Columns cached_;
    RowOrder order_;
};
