#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

class FilePanels;
class FramesPanel;
class QMenu;
class QWidget;

// File > Export Specified Packets (as pcap or pcapng, with the packets'
// comments in pcapng) and Export Packet Dissections (as text, CSV or JSON):
// the frames shown, selected, marked or in a range, to a new file only.
class FileExports final : public QObject {
    Q_OBJECT
public:
    enum class Dissection { Text, Csv, Json };

    FileExports(FramesPanel& frames, FilePanels& panels, QWidget* window);

    void addTo(QMenu* file);
    // The work of the menu items once the frames (1-based) and the file are
    // chosen; false, with `error`, where nothing was written.
    bool exportPackets(const std::vector<std::uint32_t>& frames, const QString& path,
                       QString& error) const;
    bool exportDissections(const std::vector<std::uint32_t>& frames, Dissection format,
                           const QString& path, QString& error) const;

signals:
    // What an export did or why it did not, for the status line.
    void note(const QString& text);

private:
    void askPackets();
    void askDissections();

    FramesPanel& frames_;
    FilePanels& panels_;
    QWidget* window_;
};
