#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

class KvIAXCapture;
class QTabWidget;
class QTableView;
class TrackerTableModel;

// The calls and registrations of the selected capture, as tabs beside the
// frames: followed as frames arrive (redrawn a few times a second at most),
// the calls' selection announced.
class CallsPanel final : public QObject {
    Q_OBJECT
public:
    explicit CallsPanel(QTabWidget* tabs);

    void setCapture(KvIAXCapture* capture);
    // Takes in what the capture's tracker found since (normally on a timer).
    void refresh();
    [[nodiscard]] QTableView* callsTable() const { return callsTable_; }
    [[nodiscard]] QTableView* registrationsTable() const { return registrationsTable_; }
    // The selected calls, as indexes into the capture's call list, rising.
    [[nodiscard]] std::vector<std::size_t> selectedCalls() const;

signals:
    // The selection changed (empty: none selected).
    void callsSelected(const std::vector<std::size_t>& calls);
    // A call was double-clicked: its frames are to be looked at.
    void callOpened();

private:
    TrackerTableModel* callModel_;
    TrackerTableModel* registrationModel_;
    QTableView* callsTable_;
    QTableView* registrationsTable_;
    QPointer<KvIAXCapture> capture_;
    QMetaObject::Connection changes_;
    QTimer refreshTimer_;
};
