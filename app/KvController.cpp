#include "app/KvController.h"

#include "capture/CaptureKeys.h"
#include "capture/LiveCaptureFile.h"
#include "capture/MainThreadHandoff.h"
#include "capture/WorkerThreads.h"

#include "app/PacketExport.h"
#include "app/FileMove.h"
#include "platform/FilePanels.h"
#include "common/Log.h"
#include "platform/SystemBeep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

KvController::KvController(const ControllerServices& services, QObject* parent)
    : QObject(parent), services_(services), iaxCaptures_(std::make_shared<CaptureList>()) {
    setIaxCaptures(CaptureList{KvIAXCapture::create(services_.captures)});
}

KvController::~KvController() = default;

void KvController::awakeFromNib() {
    kvlog::line("KvController is awaking from NIB");
}

void KvController::setIaxCaptures(const CaptureList& captures) {
    if (&captures == iaxCaptures_.get()) {
        return;
    }
    // The old list goes at the end of the current event: code that fetched it
    // during this event may still be using it.
    QTimer::singleShot(0, this, [old = iaxCaptures_] { (void)old; });
    iaxCaptures_ = std::make_shared<CaptureList>(captures);
    emit iaxCapturesChanged();
}

void KvController::stopCapture(KvIAXCapture* capture) {
    if (capture == nullptr) {
        return;
    }
    kvlog::line("In stopCapture, argument = ", capture->description().toStdString());
    if (capture->isInProgress()) {
        capture->stopCapture();
        capture->setPropertyText(capturekeys::status, capturekeys::statusIdle);
        capture->setPropertyText(capturekeys::button, capturekeys::buttonStart);
    } else {
        capture->startCapture();
        capture->setPropertyText(capturekeys::button, capturekeys::buttonStop);
        capture->setPropertyText(capturekeys::status, capturekeys::statusCapturing);
    }
}

void KvController::openDocument(QObject*) {
    const auto path = services_.panels->chooseFileToOpen();
    if (!path) {
        return;
    }
    kvlog::line("OK button, filename is ", path->toStdString());
    openDocumentWithContentsOfFile(*path);
}

void KvController::openDocumentWithContentsOfFile(const QString& path) {
    const auto capture = KvIAXCapture::create(services_.captures);
    const CaptureList leaving = *iaxCaptures_;
    setIaxCaptures(CaptureList{capture});
    // Captures leaving the list stop, a file load included; each lives on
    // while its worker runs.
    for (const auto& old : leaving) {
        old->cancel();
    }
    kvlog::line("Loading capture");
    capture->loadCapture(path);
}

void KvController::saveDocument(QObject*) {
    kvlog::line("In save document");
    LiveFileRecord* record = services_.captures.liveFiles;
    if (record != nullptr && record->isWriting()) {
        // Moving the file now would send the rest of the run's packets to a
        // file that is no longer there.
        kvlog::line("Save is refused while a live capture writes the file");
        kvlog::line("Move failed");
        services_.beep->beep();
        return;
    }
    const auto destination =
        services_.panels->chooseSaveDestination(QDir::homePath(), QString(), requiredFileType);
    if (!destination) {
        return;
    }
    // Only the file this process's last live run made is moved: never one
    // that another user put at the path.
    const auto source = record != nullptr ? record->movablePath() : std::nullopt;
    if (!source || !moveFileWithoutReplacing(QFile::decodeName(source->c_str()),
                                             withRequiredType(*destination, requiredFileType))) {
        kvlog::line("Move failed");
        services_.beep->beep();
        return;
    }
    record->forget();
}

void KvController::saveCalls(const KvIAXCapture& capture, const std::vector<std::size_t>& calls) {
    // The frames of the last run only: earlier runs' packets are in files
    // that later runs replaced. A frame's packet index says where it is.
    std::vector<std::uint32_t> packets;
    const FrameList& frames = capture.iaxFrames();
    for (const std::size_t index : calls) {
        if (index >= capture.callTracker().calls().size()) {
            continue;
        }
        for (const std::uint32_t number : capture.callTracker().calls()[index].frameNumbers) {
            if (number > capture.lastRunFirstFrame() && number <= frames.size()) {
                packets.push_back(frames[number - 1]->facts().packetIndex + 1);
            }
        }
    }
    const std::string source = capture.lastRunFile();
    if (packets.empty() || source.empty()) {
        services_.beep->beep();
        return;
    }
    const auto destination =
        services_.panels->chooseSaveDestination(QDir::homePath(), QString(), requiredFileType);
    if (!destination) {
        return;
    }
    const QString path = withRequiredType(*destination, requiredFileType);
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        kvlog::line("Saving calls failed: ", QFile::encodeName(path).toStdString() + " exists");
        services_.beep->beep(); // never replaced
        return;
    }
    // Copying the packets reads the file through: on a worker, so that the
    // window goes on meanwhile. What failed is told on the main thread.
    MainThreadHandoff* handoff = services_.captures.handoff;
    services_.captures.threads->start([source, packets = std::move(packets), handoff,
                                       destination = QFile::encodeName(path).toStdString(),
                                       self = QPointer<KvController>(this)] {
        std::string error;
        if (!writePackets(source, packets, destination, ExportFormat::Pcap, error)) {
            handoff->post([self, error] {
                kvlog::line("Saving calls failed: ", error);
                if (self != nullptr) {
                    self->services_.beep->beep();
                }
            });
        }
    });
}

bool KvController::validateMenuItem(const QString& itemTitle) {
    kvlog::line("In validate for: ", itemTitle.toStdString());
    // Save waits until no live run writes the file it would move.
    const LiveFileRecord* record = services_.captures.liveFiles;
    const bool save = itemTitle == QStringLiteral("Save...") || itemTitle == QStringLiteral("Save");
    return !(save && record != nullptr && record->isWriting());
}

QString KvController::pathForDataFile() {
    // This platform's folder for application data (~/.local/share/Quorvex).
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Quorvex/";
    if (!QFileInfo::exists(folder)) {
        QDir().mkdir(folder); // no missing parents; the outcome is not looked at
    }
    return QDir(folder).filePath("Quorvex.capture");
}

void KvController::saveDataToDisk() {
    kvlog::line("In save data to disk");
}

void KvController::loadDataFromDisk() {
    kvlog::line("In load data to disk");
}

void KvController::dblClick() {
    kvlog::line("Double click");
}
