#include "ui/FileExports.h"

#include "app/DissectionExport.h"
#include "app/FrameComments.h"
#include "app/KvIAXCapture.h"
#include "app/PacketExport.h"
#include "common/NewFile.h"
#include "platform/FilePanels.h"
#include "ui/ExportDialog.h"
#include "ui/FrameTableModel.h"
#include "ui/FramesPanel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

FileExports::FileExports(FramesPanel& frames, FilePanels& panels, QWidget* window)
    : QObject(window), frames_(frames), panels_(panels), window_(window) {}

void FileExports::addTo(QMenu* file) {
    QAction* packets = new QAction(tr("&Export Specified Packets..."), this);
    packets->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(packets, &QAction::triggered, this, &FileExports::askPackets);
    QAction* dissections = new QAction(tr("Export Packet &Dissections..."), this);
    connect(dissections, &QAction::triggered, this, &FileExports::askDissections);
    file->addAction(packets);
    file->addAction(dissections);
}

bool FileExports::exportPackets(const std::vector<std::uint32_t>& frames, const QString& path,
                                QString& error) const {
    const KvIAXCapture* capture = frames_.model().capture();
    if (capture == nullptr || capture->lastRunFile().empty() || capture->lastRunFile() == "-") {
        error = tr("there is no capture file to take the packets from");
        return false;
    }
    // A frame's packet index says where its packet is in the last run's
    // file; earlier runs' packets are in files that later runs replaced.
    std::vector<std::uint32_t> packets;
    for (const std::uint32_t number : frames) {
        if (number > capture->lastRunFirstFrame() && number <= capture->iaxFrames().size()) {
            packets.push_back(capture->iaxFrames()[number - 1]->facts().packetIndex + 1);
        }
    }
    if (packets.empty()) {
        error = tr("none of these frames is in the capture file");
        return false;
    }
    std::sort(packets.begin(), packets.end());
    packets.erase(std::unique(packets.begin(), packets.end()), packets.end());
    const std::string destination = QFile::encodeName(path).toStdString();
    std::string why;
    const auto* comments = frames_.comments();
    if (!writePackets(
            capture->lastRunFile(), packets, destination, exportFormatOf(destination), why,
            comments != nullptr ? comments->all() : std::map<std::uint32_t, std::string>{})) {
        error = QString::fromStdString(why);
        return false;
    }
    return true;
}

bool FileExports::exportDissections(const std::vector<std::uint32_t>& frames, Dissection format,
                                    const QString& path, QString& error) const {
    const KvIAXCapture* capture = frames_.model().capture();
    if (capture == nullptr) {
        error = tr("there is no capture");
        return false;
    }
    const std::string destination = QFile::encodeName(path).toStdString();
    std::string why;
    if (format == Dissection::Csv) {
        // The rows as the frame table shows them, its visible columns.
        const QByteArray text = frames_.rowsText(frames, true).toUtf8();
        NewFile file(destination);
        if (!file.ok() ||
            !file.write({reinterpret_cast<const std::uint8_t*>(text.constData()),
                         static_cast<std::size_t>(text.size())}) ||
            !file.commit()) {
            error = QString::fromStdString(file.error());
            return false;
        }
        return true;
    }
    if (!::exportDissections(*capture, frames,
                             format == Dissection::Json ? DissectionFormat::Json
                                                        : DissectionFormat::Text,
                             destination, why)) {
        error = QString::fromStdString(why);
        return false;
    }
    return true;
}

namespace {

// The file the user names; nothing where the panel was cancelled.
std::optional<QString> askFile(FilePanels& panels, const KvIAXCapture* capture,
                               const QString& type) {
    const QString folder =
        capture != nullptr && !capture->lastRunFile().empty() && capture->lastRunFile() != "-"
            ? QFileInfo(QString::fromStdString(capture->lastRunFile())).absolutePath()
            : QDir::homePath();
    return panels.chooseSaveDestination(folder, QString(), type);
}

} // namespace

void FileExports::askPackets() {
    ExportDialog dialog(frames_, tr("Export Specified Packets"), {tr("pcap"), tr("pcapng")},
                        window_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    QString error;
    const auto frames = dialog.frames(error);
    const auto path = frames ? askFile(panels_, frames_.model().capture(),
                                       dialog.format() == 1 ? "pcapng" : "pcap")
                             : std::nullopt;
    if (frames && !path) {
        return;
    }
    if (!frames || !exportPackets(*frames, *path, error)) {
        emit note(tr("nothing exported: %1").arg(error));
        QApplication::beep();
        return;
    }
    emit note(tr("%n frame(s) exported to %1", nullptr, static_cast<int>(frames->size()))
                  .arg(QDir::toNativeSeparators(*path)));
}

void FileExports::askDissections() {
    ExportDialog dialog(frames_, tr("Export Packet Dissections"),
                        {tr("Text"), tr("CSV"), tr("JSON")}, window_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    static const char* const types[] = {"txt", "csv", "json"};
    QString error;
    const auto frames = dialog.frames(error);
    const int format = std::clamp(dialog.format(), 0, 2);
    const auto path =
        frames ? askFile(panels_, frames_.model().capture(), types[format]) : std::nullopt;
    if (frames && !path) {
        return;
    }
    if (!frames || !exportDissections(*frames, static_cast<Dissection>(format), *path, error)) {
        emit note(tr("nothing exported: %1").arg(error));
        QApplication::beep();
        return;
    }
    emit note(tr("%n frame(s) exported to %1", nullptr, static_cast<int>(frames->size()))
                  .arg(QDir::toNativeSeparators(*path)));
}
