#pragma once

#include "app/KvIAXCapture.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class FilePanels;
class SystemBeep;

using CaptureList = QList<std::shared_ptr<KvIAXCapture>>;

struct ControllerServices {
    CaptureServices captures;
    FilePanels* panels = nullptr;
    SystemBeep* beep = nullptr;
};

// The one object between the window and the model: the capture list the
// views show, the start/stop toggle of each capture row, and Open and Save.
// Runs on the main thread only.
class KvController final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* requiredFileType = "pcap";
    static constexpr const char* temporaryCaptureFile = LiveCaptureSettings::defaultTemporaryFile;

    // Creation: one capture, alone in the capture list.
    explicit KvController(const ControllerServices& services, QObject* parent = nullptr);
    ~KvController() override;

    // The interface is loaded and connected.
    void awakeFromNib();

    // The capture list, replaced only as a whole. Its identity is the list
    // object: a list that was not replaced is the very same object.
    [[nodiscard]] const CaptureList& iaxCaptures() const { return *iaxCaptures_; }
    void setIaxCaptures(const CaptureList& captures);

    // The toggle, sent by a capture row's button with the row's capture.
    void stopCapture(KvIAXCapture* capture);

    void openDocument(QObject* sender);
    void openDocumentWithContentsOfFile(const QString& path);
    void saveDocument(QObject* sender);
    // Saves the packets of these calls of the capture (indexes into its call
    // list), unchanged, to a new pcap file chosen in the save panel, written
    // on a worker; the beep where there is nothing to save or the save failed.
    void saveCalls(const KvIAXCapture& capture, const std::vector<std::size_t>& calls);
    bool validateMenuItem(const QString& itemTitle);

    QString pathForDataFile();
    void saveDataToDisk();
    void loadDataFromDisk();
    void dblClick();

signals:
    void iaxCapturesChanged();

private:
    ControllerServices services_;
    std::shared_ptr<CaptureList> iaxCaptures_;
};
