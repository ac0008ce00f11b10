#pragma once

#include "app/KvController.h"
#include "filter/DisplayFilter.h"
#include "ui/QtPlatform.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>

class CaptureListModel;
class ElementTableModel;
class FrameTableModel;
class TrackerTableModel;
class CallFlowView;
class PlayerView;
class DisplayFilterBar;
class FindBar;
class FrameFilterRun;
class StreamsView;
class PacketDetailsView;
class QualityWatch;
class QTabWidget;
class QComboBox;
class QLabel;
class QTableView;
namespace Ui {
class MainWindow;
}

// What the window is given: the capture services of the application, and,
// for tests, replacements of the panels, the alert and the beep.
struct WindowServices {
    CaptureServices captures;
    LiveCaptureSettings* liveSettings = nullptr;
    FilePanels* panels = nullptr;
    CaptureAlert* alert = nullptr;
    SystemBeep* beep = nullptr;
};

// The window: the interface description (MainWindow.ui) with its three tables
// bound by key to the controller's captures, the selected capture's frames and
// the selected frame's elements. Loading it creates the one controller.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] KvController& controller() { return *controller_; }
    [[nodiscard]] QTableView* capturesTable() const;
    [[nodiscard]] QTableView* framesTable() const;
    [[nodiscard]] QTableView* elementsTable() const;
    [[nodiscard]] QString statusText() const;
    [[nodiscard]] FrameTableModel& frameModel() const { return *frameModel_; }
    [[nodiscard]] QTableView* callsTable() const { return callsTable_; }
    [[nodiscard]] QTableView* registrationsTable() const { return registrationsTable_; }
    [[nodiscard]] CallFlowView* callFlowView() const { return flowView_; }
    [[nodiscard]] StreamsView* streamsView() const { return streamsView_; }
    [[nodiscard]] PlayerView* playerView() const { return playerView_; }
    [[nodiscard]] DisplayFilterBar* filterBar() const { return filterBar_; }
    [[nodiscard]] FindBar* findBar() const { return findBar_; }
    [[nodiscard]] PacketDetailsView* detailsView() const { return detailsView_; }
    [[nodiscard]] QualityWatch* qualityWatch() const { return quality_; }
    // Whether the display filter has been tested on every frame there is.
    [[nodiscard]] bool isFiltering() const;
    // Selects the row of frame `number` (1-based); false, with the reason in
    // the status line, where no row shows it.
    bool goToFrame(std::uint32_t number);
    // "Apply as Filter" and "Prepare as Filter" on a frame table cell or an
    // element table row.
    void filterOnFrameCell(const QModelIndex& index, bool apply);
    void filterOnElement(const QModelIndex& index, bool apply);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void bindViews();
    void buildInterfaceChooser();
    void buildTimeFormatMenu();
    void buildColumnsMenu(QMenu* view);
    void buildCallTabs();
    void buildVoiceViews(QTabWidget* upper, QTabWidget* lower);
    void buildQualityViews(QTabWidget* upper);
    void selectNextProblem();
    QWidget* buildFilterBars(QTabWidget* tabs);
    void buildEditMenu();
    void applyDisplayFilter(const std::optional<filter::DisplayFilter>& filter);
    // Puts the expression in the filter bar, and applies it with `apply`.
    void useAsFilter(const std::optional<std::string>& expression, bool apply);
    // Shows the frames of the selected calls (or all), through the display filter.
    void refreshFrameRows();
    void showVoice(const std::vector<std::size_t>& calls);
    void showCalls();
    void callsSelected();
    void saveSelectedCalls();
    void capturesReplaced();
    void captureSelected(int row);
    void updateButtons();
    void updateStatus();

    std::unique_ptr<Ui::MainWindow> ui_;
    QtFilePanels panels_{this};
    QtCaptureAlert alert_{this};
    QtBeep beep_;
    WindowServices services_;
    KvController* controller_ = nullptr;
    CaptureListModel* captureModel_ = nullptr;
    FrameTableModel* frameModel_ = nullptr;
    ElementTableModel* elementModel_ = nullptr;
    TrackerTableModel* callModel_ = nullptr;
    TrackerTableModel* registrationModel_ = nullptr;
    QTableView* callsTable_ = nullptr;
    QTableView* registrationsTable_ = nullptr;
    CallFlowView* flowView_ = nullptr;
    StreamsView* streamsView_ = nullptr;
    DisplayFilterBar* filterBar_ = nullptr;
    FindBar* findBar_ = nullptr;
    std::optional<filter::DisplayFilter> displayFilter_;
    FrameFilterRun* filterRun_ = nullptr;
    std::optional<std::vector<std::uint32_t>> callFrames_; // of the selected calls
    QString statusNote_;
    PlayerView* playerView_ = nullptr;
    PacketDetailsView* detailsView_ = nullptr;
    QualityWatch* quality_ = nullptr;
    QAction* nextProblem_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QTabWidget* frameTabs_ = nullptr;
    QMetaObject::Connection callsConnection_;
    QTimer callsRefresh_;
    QComboBox* interfaceChooser_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QMetaObject::Connection statusConnection_;
};
