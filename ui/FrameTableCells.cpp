// What the frame table's cells and headers show: the record's display texts,
// the field columns, the times in the chosen format, marks and problems.
#include "ui/FrameTableModel.h"

#include "app/KvIAXCapture.h"
#include "dissect/FrameSummary.h"

#include <QBrush>
#include <QColor>

QVariant FrameTableModel::data(const QModelIndex& index, int role) const {
    if ((role == Qt::BackgroundRole || role == Qt::ForegroundRole) && !marks_.empty() &&
        index.row() >= 0 && index.row() < shownRows_ && isMarked(frameNumberAt(index.row()))) {
        return QBrush(role == Qt::BackgroundRole ? QColor(0x20, 0x20, 0x20) : QColor(Qt::white));
    }
    if (role == Qt::BackgroundRole && !problemFrames_.empty() && index.row() >= 0 &&
        index.row() < shownRows_) {
        // Light tints, as the packet analyzers colour their expert rows.
        const std::uint32_t frame = frameNumberAt(index.row());
        const auto it = std::lower_bound(
            problemFrames_.begin(), problemFrames_.end(), frame,
            [](const auto& entry, std::uint32_t number) { return entry.first < number; });
        if (it == problemFrames_.end() || it->first != frame) {
            return {};
        }
        static const QColor tints[] = {QColor(0xF8, 0xC8, 0xC8), QColor(0xF8, 0xEC, 0xB0),
                                       QColor(0xD0, 0xE4, 0xF8)};
        return QBrush(tints[static_cast<int>(it->second)]);
    }
    if ((role != Qt::DisplayRole && role != Qt::ForegroundRole) || capture_ == nullptr ||
        index.row() < 0 || index.row() >= shownRows_) {
        return {};
    }
    const FrameList& frames = capture_->iaxFrames();
    const std::size_t position = frameIndexOf(index.row());
    if (position >= frames.size()) {
        return {};
    }
    if (role == Qt::ForegroundRole) {
        // A frame left encrypted: its texts are what its ciphertext decodes to.
        return frames[position]->facts().isLocked() ? QVariant(QBrush(QColor(0x80, 0x80, 0x80)))
                                                    : QVariant();
    }
    const KvIAXFrame& frame = *frames[position];
    if (index.column() >= firstFieldColumn()) {
        return fieldColumns_.text(index.column() - firstFieldColumn(),
                                  static_cast<std::uint32_t>(position + 1),
                                  previousShownFacts(index.row()));
    }
    if (index.column() == numberColumn()) {
        return static_cast<qulonglong>(position + 1);
    }
    if (index.column() == columns_.count() + 1) {
        return frame.facts().kind() == FrameKind::Fresh ? QVariant()
                                                        : QVariant(frame.facts().wireLength);
    }
    if (index.column() == infoColumn()) {
        if (frame.facts().kind() == FrameKind::Fresh) {
            return QString();
        }
        QString info = QString::fromStdString(framesummary::info(frame));
        // Sent again without its retransmission flag, as the calls' follower found.
        const auto number = static_cast<std::uint32_t>(position + 1);
        if (frame.facts().retransmission == 0) {
            if (const std::uint32_t original =
                    calls::originalIn(capture_->callTracker().resends(), number)) {
                info += tr(" [resent, first sent in frame %1]").arg(original);
            }
        }
        return info;
    }
    if (index.column() == capturedColumn_ && timeFormat_ != framedisplay::TimeFormat::DateAndTime &&
        frame.facts().kind() != FrameKind::Fresh) {
        if (reference_ != 0 && position + 1 == reference_) {
            return QStringLiteral("*REF*");
        }
        const FrameFacts* previous =
            index.row() > 0 ? &frames[frameIndexOf(index.row() - 1)]->facts() : nullptr;
        const FrameFacts* first = reference_ != 0 && reference_ <= frames.size()
                                      ? &frames[reference_ - 1]->facts()
                                      : &frames.front()->facts();
        return QString::fromStdString(
            framedisplay::capturedText(frame.facts(), timeFormat_, first, previous));
    }
    return columns_.text(frame, index.column() - 1);
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == numberColumn()) {
            return tr("No.");
        }
        if (section == columns_.count() + 1) {
            return tr("Length");
        }
        if (section == infoColumn()) {
            return tr("Info");
        }
        if (section >= firstFieldColumn()) {
            return fieldColumns_.columns().value(section - firstFieldColumn()).title;
        }
    }
    const QVariant title = columns_.header(section - 1, orientation, role);
    return title.isValid() ? title : QAbstractTableModel::headerData(section, orientation, role);
}

void FrameTableModel::setTimeFormat(framedisplay::TimeFormat format) {
    timeFormat_ = format;
    if (capturedColumn_ >= 0 && shownRows_ > 0) {
        emit dataChanged(index(0, capturedColumn_), index(shownRows_ - 1, capturedColumn_),
                         {Qt::DisplayRole});
    }
}
