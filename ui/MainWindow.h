#pragma once

#include "app/KvController.h"
#include "ui/QtPlatform.h"
#include "ui/RememberedLayout.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <vector>

class CallFlowView;
class CallPanel;
class CallsPanel;
class CapturesPanel;
class DisplayFilterBar;
class ElementTableModel;
class FileExports;
class FindBar;
class FrameTableModel;
class FramesPanel;
class PacketDetailsView;
class PlayerView;
class ElidedLabel;
class QLabel;
class QMenu;
class QTabWidget;
class UniformRowsView;
class QTableView;
class QualityWatch;
class RecentFiles;
class RunProgress;
class StreamsView;
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
// the selected frame's elements, and the panels around them: the frames with
// their filter, the calls and registrations, the selected calls' ladder,
// streams and player, the packet details and the problems. Loading it
// creates the one controller. The window only wires the panels together.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] KvController& controller() { return *controller_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildPanels();
    void buildMenus();
    void buildFileMenu();
    [[nodiscard]] std::shared_ptr<const std::vector<std::uint32_t>> selectedCallFrames() const;
    void buildQualityViews();
    void rememberLayout();
    void captureSelected(KvIAXCapture* capture);
    void callsSelected(const std::vector<std::size_t>& calls);
    void frameSelected(std::uint32_t number);
    void selectNextProblem();
    void saveSelectedCalls();
    void updateStatus();
    // Edit > Decryption Secrets, and Decrypt With on a call.
    void buildDecryption();
    void setSecrets(std::vector<std::string> secrets);

    std::unique_ptr<Ui::MainWindow> ui_;
    QtFilePanels panels_{this};
    QtCaptureAlert alert_{this};
    QtBeep beep_;
    WindowServices services_;
    // What the captures' runs open encrypted calls with.
    std::vector<std::string> secrets_;
    KvController* controller_ = nullptr;
    CapturesPanel* captures_ = nullptr;
    FramesPanel* frames_ = nullptr;
    CallsPanel* calls_ = nullptr;
    CallPanel* call_ = nullptr;
    QualityWatch* quality_ = nullptr;
    ElementTableModel* elementModel_ = nullptr;
    PacketDetailsView* detailsView_ = nullptr;
    QTabWidget* lowerTabs_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    ElidedLabel* statusLabel_ = nullptr;
    RunProgress* progress_ = nullptr;
    RecentFiles* recent_ = nullptr;
    FileExports* exports_ = nullptr;
    QString recentFile_; // the file last added to Open Recent
    QString statusNote_; // what the last action said, until the next one
    RememberedLayout layout_;
    // A large selection's frames are gathered on a worker that holds the
    // capture's trackers; what it finds for a selection changed since is
    // dropped.
    QFutureWatcher<std::vector<std::uint32_t>> callFrames_;
    QPointer<KvIAXCapture> callFramesCapture_;
    std::uint64_t callsSelection_ = 0, callFramesSelection_ = 0;
};
