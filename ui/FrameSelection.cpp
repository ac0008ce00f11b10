#include "ui/FrameSelection.h"

#include "app/FrameComments.h"
#include "app/KvIAXCapture.h"
#include "capturefile/PacketFileReader.h"
#include "ui/FrameTableModel.h"
#include "ui/UniformRowsView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStandardPaths>

#include <algorithm>

FrameSelection::FrameSelection(const UniformRowsView& table, const FrameTableModel& model)
    : table_(table), model_(model) {}

FrameSelection::~FrameSelection() = default;

const KvIAXCapture* FrameSelection::capture() const {
    return model_.capture();
}

std::vector<std::pair<int, int>> FrameSelection::rowRuns() const {
    // Whole rows are selected: each range of the selection is a run of them.
    std::vector<std::pair<int, int>> runs;
    for (const QItemSelectionRange& range : table_.selectionModel()->selection()) {
        runs.emplace_back(range.top(), range.bottom() + 1);
    }
    std::sort(runs.begin(), runs.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& run : runs) {
        if (!merged.empty() && run.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, run.second);
        } else {
            merged.push_back(run);
        }
    }
    return merged;
}

std::size_t FrameSelection::rowCount() const {
    std::size_t rows = 0;
    for (const auto& [first, last] : rowRuns()) {
        rows += static_cast<std::size_t>(last - first);
    }
    return rows;
}

std::vector<std::uint32_t> FrameSelection::frames() const {
    std::vector<std::uint32_t> frames;
    frames.reserve(rowCount());
    for (const auto& [first, last] : rowRuns()) {
        model_.appendShownFrames(first, last, frames);
    }
    return frames;
}

QString FrameSelection::text(bool csv) const {
    // Only the rows copied are listed, of a selection that may be millions.
    std::vector<std::uint32_t> frames;
    for (const auto& [first, last] : rowRuns()) {
        const int left = mostCopiedRows - static_cast<int>(frames.size());
        model_.appendShownFrames(first, std::min(last, first + left), frames);
    }
    return rowsText(frames, csv);
}

QString FrameSelection::rowsText(const std::vector<std::uint32_t>& frames, bool csv,
                                 bool titled) const {
    const auto quoted = [csv](QString text) {
        if (!csv) {
            return text.replace('\t', ' ').replace('\n', ' ');
        }
        return text.contains(',') || text.contains('"') || text.contains('\n')
                   ? '"' + text.replace('"', "\"\"") + '"'
                   : text;
    };
    const QString separator = csv ? QStringLiteral(",") : QStringLiteral("\t");
    const QHeaderView* header = table_.horizontalHeader();
    QList<int> columns; // in the order shown
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (!header->isSectionHidden(column)) {
            columns << column;
        }
    }
    QString text;
    if (titled) {
        QStringList titles;
        for (const int column : columns) {
            titles << quoted(model_.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
        }
        text = titles.join(separator) + '\n';
    }
    for (const std::uint32_t frame : frames) {
        const int row = model_.rowOfFrame(frame);
        if (row < 0) {
            continue;
        }
        QStringList cells;
        for (const int column : columns) {
            cells << quoted(model_.index(row, column).data().toString());
        }
        text += cells.join(separator) + '\n';
    }
    return text;
}

// Read when the loaded file changes (a capture reads a new file on each Open).
FrameComments* FrameSelection::comments() const {
    const KvIAXCapture* capture = model_.capture();
    // A live run's file is a temporary one the next run replaces: only a
    // loaded file's packets keep their numbers.
    static const std::string none;
    // Asked once a step of a ladder: the path is not copied.
    const std::string& file = capture != nullptr ? capture->loadedFile() : none;
    if (!whyNotReadAgain(file).empty()) {
        comments_.reset();
        return nullptr;
    }
    if (comments_ == nullptr || comments_->capturePath() != file) {
        comments_ = std::make_unique<FrameComments>(
            (QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/comments")
                .toStdString(),
            file);
        const auto error = comments_->load();
        commentsError_ = error ? QString::fromStdString(*error) : QString();
    }
    return comments_.get();
}

std::uint32_t FrameSelection::packetOf(std::uint32_t number) const {
    const KvIAXCapture* capture = model_.capture();
    if (capture == nullptr || number == 0 || number > capture->iaxFrames().size()) {
        return 0;
    }
    return capture->iaxFrames()[number - 1]->facts().packetIndex + 1;
}

QString FrameSelection::commentOf(std::uint32_t number) const {
    const FrameComments* comments = this->comments();
    // Asked of every step of a ladder: a capture without comments answers
    // without reading the frame.
    if (comments == nullptr || comments->all().empty()) {
        return {};
    }
    const std::uint32_t packet = packetOf(number);
    return packet != 0 ? QString::fromStdString(comments->of(packet)) : QString();
}
