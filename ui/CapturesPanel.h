#pragma once

#include "app/KvController.h"
#include "ui/KeyColumns.h"

#include <QObject>

class CaptureListModel;
class KvIAXCapture;
class QComboBox;
class QTableView;
class QToolBar;
struct LiveCaptureSettings;

// The capture list: the interface description's table bound by key to the
// controller's captures, each row's Start or Stop button, the row chosen;
// and the tool bar's interface chooser for the next live start.
class CapturesPanel final : public QObject {
    Q_OBJECT
public:
    CapturesPanel(KvController& controller, QTableView* table, KeyColumns columns,
                  QObject* parent = nullptr);
    ~CapturesPanel() override;

    [[nodiscard]] CaptureListModel& model() const { return *model_; }
    [[nodiscard]] KvIAXCapture* selected() const;
    void addInterfaceChooser(QToolBar* toolBar, LiveCaptureSettings* settings);

signals:
    void captureSelected(KvIAXCapture* capture);
    // A row's values changed (its status, its button).
    void rowsChanged();

private:
    void listReplaced();
    void updateButtons();

    KvController& controller_;
    QTableView* table_;
    CaptureListModel* model_;
    QComboBox* interfaceChooser_ = nullptr;
};
