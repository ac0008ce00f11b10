#pragma once

#include "ui/CallPanel.h"
#include "ui/CallsPanel.h"
#include "ui/ElementTableModel.h"
#include "ui/FileExports.h"
#include "ui/FramesPanel.h"
#include "ui/MainWindow.h"
#include "ui/PacketDetailsView.h"
#include "ui/QualityWatch.h"
#include "ui/RecentFiles.h"
#include "ui/RunProgress.h"
#include "ui/UniformRowsView.h"

#include <QLabel>
#include <QTableView>

// The window's panels and views as tests and benchmarks drive them, found
// under the window by type or by the names its interface description gives
// them: the window itself keeps no accessor for their sake. A part that is
// not there stops the run, naming it.
class WindowParts {
public:
    explicit WindowParts(const MainWindow& window) : window_(window) {}

    [[nodiscard]] QTableView* capturesTable() const { return named<QTableView>("capturesTable"); }
    [[nodiscard]] UniformRowsView* framesTable() const {
        return named<UniformRowsView>("framesTable");
    }
    [[nodiscard]] QTableView* elementsTable() const { return named<QTableView>("elementsTable"); }
    [[nodiscard]] QString statusText() const { return named<QLabel>("statusLabel")->text(); }

    [[nodiscard]] FramesPanel* framesPanel() const { return one<FramesPanel>(); }
    [[nodiscard]] FrameTableModel& frameModel() const { return framesPanel()->model(); }
    [[nodiscard]] DisplayFilterBar* filterBar() const { return framesPanel()->filterBar(); }
    [[nodiscard]] FindBar* findBar() const { return framesPanel()->findBar(); }
    [[nodiscard]] bool isFiltering() const { return framesPanel()->isFiltering(); }
    bool goToFrame(std::uint32_t number) const { return framesPanel()->goToFrame(number); }
    // "Apply as Filter" and "Prepare as Filter" on a frame table cell or an
    // element table row.
    void filterOnFrameCell(const QModelIndex& index, bool apply) const {
        framesPanel()->filterOnFrameCell(index, apply);
    }
    void filterOnElement(const QModelIndex& index, bool apply) const {
        const auto* elements = qobject_cast<const ElementTableModel*>(index.model());
        if (elements == nullptr) {
            qFatal("filterOnElement: the index is not of the element table");
        }
        framesPanel()->filterOnElement(static_cast<std::size_t>(elements->elementAt(index.row())),
                                       apply);
    }

    [[nodiscard]] QTableView* callsTable() const { return one<CallsPanel>()->callsTable(); }
    [[nodiscard]] QTableView* registrationsTable() const {
        return one<CallsPanel>()->registrationsTable();
    }
    [[nodiscard]] CallFlowView* callFlowView() const { return one<CallPanel>()->flowView(); }
    [[nodiscard]] StreamsView* streamsView() const { return one<CallPanel>()->streamsView(); }
    [[nodiscard]] PlayerView* playerView() const { return one<CallPanel>()->playerView(); }
    [[nodiscard]] PacketDetailsView* detailsView() const { return one<PacketDetailsView>(); }
    [[nodiscard]] QualityWatch* qualityWatch() const { return one<QualityWatch>(); }
    [[nodiscard]] RunProgress* runProgress() const { return one<RunProgress>(); }
    [[nodiscard]] FileExports* fileExports() const { return one<FileExports>(); }
    [[nodiscard]] RecentFiles* recentFiles() const { return one<RecentFiles>(); }

private:
    template <typename T> T* named(const char* name) const {
        T* found = window_.findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) {
            qFatal("the window has no %s", name);
        }
        return found;
    }
    template <typename T> T* one() const {
        T* found = window_.findChild<T*>();
        if (found == nullptr) {
            qFatal("the window has no %s", T::staticMetaObject.className());
        }
        return found;
    }

    const MainWindow& window_;
};

inline WindowParts parts(const MainWindow& window) {
    return WindowParts(window);
}
