#pragma once

#include "ui/ExportRun.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

class FilePanels;
class FrameSelection;
class QMenu;
class QWidget;

// File > Export Specified Packets (as pcap or pcapng, with the packets'
// comments in pcapng) and Export Packet Dissections (as text, CSV or JSON):
// the frames shown, selected, marked or in a range, to a new file only.
class FileExports final : public QObject {
    Q_OBJECT
public:
    enum class Dissection { Text, Csv, Json };

    FileExports(const FrameSelection& selection, FilePanels& panels, QWidget* window);

    void addTo(QMenu* file);
    // The work of the menu items once the frames and the file are chosen:
    // false, with `error`, where it cannot start. It goes on a slice at a
    // time (see ExportRun), one at a time, and `exported` tells how it
    // ended; the file is linked into place only once whole.
    bool exportPackets(ExportRun::Frames frames, const QString& path, QString& error);
    bool exportDissections(ExportRun::Frames frames, Dissection format, const QString& path,
                           QString& error);
    [[nodiscard]] bool isExporting() const { return run_ != nullptr; }

signals:
    // What an export does, did or why it did not, for the status line.
    void note(const QString& text);
    void exported(bool ok);

private:
    void askPackets();
    void askDissections();
    bool canStart(const QString& path, QString& error) const;
    void watch(ExportRun* run, const QString& path);

    const FrameSelection& selection_;
    FilePanels& panels_;
    QWidget* window_;
    ExportRun* run_ = nullptr;
};
