#include "ui/FileExports.h"

#include "app/FrameComments.h"
#include "app/KvIAXCapture.h"
#include "platform/FilePanels.h"
#include "ui/ExportDialog.h"
#include "ui/ExportRun.h"
#include "ui/FrameTableModel.h"
#include "ui/FrameSelection.h"

#include "capturefile/PacketFileReader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

FileExports::FileExports(const FrameSelection& selection, FilePanels& panels, QWidget* window)
    : QObject(window), selection_(selection), panels_(panels), window_(window) {}

void FileExports::addTo(QMenu* file) {
    QAction* packets = new QAction(tr("&Export Specified Packets..."), this);
    packets->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(packets, &QAction::triggered, this, &FileExports::askPackets);
    QAction* dissections = new QAction(tr("Export Packet &Dissections..."), this);
    connect(dissections, &QAction::triggered, this, &FileExports::askDissections);
    file->addAction(packets);
    file->addAction(dissections);
}

bool FileExports::exportPackets(ExportRun::Frames frames, const QString& path, QString& error) {
    const KvIAXCapture* capture = selection_.capture();
    if (const std::string why = capture != nullptr ? whyNotReadAgain(capture->lastRunFile())
                                                   : std::string("there is no capture");
        !why.empty()) {
        error = tr("there is no capture file to take the packets from: %1")
                    .arg(QString::fromStdString(why));
        return false;
    }
    if (!canStart(path, error)) {
        return false;
    }
    const auto* comments = selection_.comments();
    // Moved, not copied: tens of millions of frames are a few hundred megabytes.
    watch(ExportRun::packets(
              *capture, std::move(frames), QFile::encodeName(path).toStdString(),
              comments != nullptr ? comments->all() : std::map<std::uint32_t, std::string>{}, this),
          path);
    return true;
}

bool FileExports::exportDissections(ExportRun::Frames frames, Dissection format,
                                    const QString& path, QString& error) {
    const KvIAXCapture* capture = selection_.capture();
    if (capture == nullptr) {
        error = tr("there is no capture");
        return false;
    }
    if (!canStart(path, error)) {
        return false;
    }
    const std::string destination = QFile::encodeName(path).toStdString();
    if (format == Dissection::Csv) {
        // The rows as the frame table shows them, its visible columns.
        watch(ExportRun::rows(
                  *capture, std::move(frames),
                  [this](const std::vector<std::uint32_t>& block, bool titled) {
                      return selection_.rowsText(block, true, titled);
                  },
                  destination, this),
              path);
        return true;
    }
    watch(ExportRun::dissections(*capture, std::move(frames),
                                 format == Dissection::Json ? DissectionFormat::Json
                                                            : DissectionFormat::Text,
                                 destination, this),
          path);
    return true;
}

bool FileExports::canStart(const QString& path, QString& error) const {
    if (run_ != nullptr) {
        error = tr("an export is still being written");
        return false;
    }
    // Known at once rather than once written: the file is never replaced.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        error = tr("%1 exists").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

void FileExports::watch(ExportRun* run, const QString& path) {
    run_ = run;
    connect(run, &ExportRun::progressed, this, [this, run] {
        emit note(tr("exporting: %1 of %2 frames").arg(run->done()).arg(run->total()));
    });
    connect(run, &ExportRun::finished, this, [this, run, path](bool ok, const QString& error) {
        run_ = nullptr;
        run->deleteLater();
        if (!ok) {
            emit note(tr("nothing exported: %1").arg(error));
            QApplication::beep();
        } else {
            emit note(tr("%n frame(s) exported to %1", nullptr, static_cast<int>(run->total()))
                          .arg(QDir::toNativeSeparators(path)));
        }
        emit exported(ok);
    });
}

namespace {

// The file the user names; nothing where the panel was cancelled.
std::optional<QString> askFile(FilePanels& panels, const KvIAXCapture* capture,
                               const QString& type) {
    const QString folder =
        capture != nullptr && whyNotReadAgain(capture->lastRunFile()).empty()
            ? QFileInfo(QString::fromStdString(capture->lastRunFile())).absolutePath()
            : QDir::homePath();
    return panels.chooseSaveDestination(folder, QString(), type);
}

} // namespace

void FileExports::askPackets() {
    ExportDialog dialog(selection_, tr("Export Specified Packets"), {tr("pcap"), tr("pcapng")},
                        window_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    QString error;
    auto frames = dialog.frames(error); // moved into the export, not copied
    const auto path =
        frames ? askFile(panels_, selection_.capture(), dialog.format() == 1 ? "pcapng" : "pcap")
               : std::nullopt;
    if (frames && !path) {
        return;
    }
    if (!frames || !exportPackets(std::move(*frames), *path, error)) {
        emit note(tr("nothing exported: %1").arg(error));
        QApplication::beep();
    }
}

void FileExports::askDissections() {
    ExportDialog dialog(selection_, tr("Export Packet Dissections"),
                        {tr("Text"), tr("CSV"), tr("JSON")}, window_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    static const char* const types[] = {"txt", "csv", "json"};
    QString error;
    auto frames = dialog.frames(error); // moved into the export, not copied
    const int format = std::clamp(dialog.format(), 0, 2);
    const auto path = frames ? askFile(panels_, selection_.capture(), types[format]) : std::nullopt;
    if (frames && !path) {
        return;
    }
    if (!frames ||
        !exportDissections(std::move(*frames), static_cast<Dissection>(format), *path, error)) {
        emit note(tr("nothing exported: %1").arg(error));
        QApplication::beep();
    }
}
