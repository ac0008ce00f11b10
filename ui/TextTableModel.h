#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

// A table of texts with fixed column titles, for the short lists the window
// shows beside the frames (calls, registrations). setRows() inserts the rows
// that are new and announces the others as changed, so that the selection
// stays where it is while a live capture adds to the list.
class TextTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TextTableModel(QStringList titles, QObject* parent = nullptr);

    void setRows(std::vector<QStringList> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList titles_;
    std::vector<QStringList> rows_;
};
