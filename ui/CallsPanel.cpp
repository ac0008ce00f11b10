#include "ui/CallsPanel.h"

#include "app/KvIAXCapture.h"
#include "ui/TrackerTableModel.h"
#include "ui/ViewParts.h"

#include <QHeaderView>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>

namespace {} // namespace

CallsPanel::CallsPanel(QTabWidget* tabs)
    : QObject(tabs), callModel_(new TrackerTableModel(TrackerTableModel::Rows::Calls, this)),
      registrationModel_(new TrackerTableModel(TrackerTableModel::Rows::Registrations, this)),
      callsTable_(readOnlyTable(callModel_, tabs)),
      registrationsTable_(readOnlyTable(registrationModel_, tabs)) {
    callsTable_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tabs->addTab(callsTable_, tr("&Calls"));
    tabs->addTab(registrationsTable_, tr("&Registrations"));
    connect(callsTable_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit callsSelected(selectedCalls()); });
    connect(callsTable_, &QTableView::doubleClicked, this, &CallsPanel::callOpened);
    refreshTimer_.setObjectName("calls refresh");
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(300);
    connect(&refreshTimer_, &QTimer::timeout, this, &CallsPanel::refresh);
}

void CallsPanel::setCapture(KvIAXCapture* capture) {
    disconnect(changes_);
    capture_ = capture;
    if (capture != nullptr) {
        // The lists are redrawn at most a few times a second: a load changes
        // them with every block of frames.
        changes_ = connect(capture, &KvIAXCapture::callsChanged, this, [this] {
            if (!refreshTimer_.isActive()) {
                refreshTimer_.start();
            }
        });
    }
    callModel_->setCapture(capture);
    registrationModel_->setCapture(capture);
}

void CallsPanel::refresh() {
    callModel_->refresh();
    registrationModel_->refresh();
}

std::vector<std::size_t> CallsPanel::selectedCalls() const {
    std::vector<std::size_t> calls;
    const auto total =
        capture_ != nullptr ? static_cast<int>(capture_->callTracker().calls().size()) : 0;
    for (const QModelIndex& row : callsTable_->selectionModel()->selectedRows()) {
        const int call = callModel_->itemAt(row.row());
        if (call < total) {
            calls.push_back(static_cast<std::size_t>(call));
        }
    }
    std::sort(calls.begin(), calls.end());
    return calls;
}
