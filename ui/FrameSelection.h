#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class FrameComments;
class FrameTableModel;
class KvIAXCapture;
class UniformRowsView;

// What is chosen in the frame table, for those that copy, export or comment
// it without the panel that shows it: the selected rows (as runs, since a
// selection of millions of rows is a few runs), their frames, their text as
// the visible columns show it, and the comments on the loaded file's packets.
class FrameSelection {
public:
    FrameSelection(const UniformRowsView& table, const FrameTableModel& model);
    ~FrameSelection();
    FrameSelection(const FrameSelection&) = delete;
    FrameSelection& operator=(const FrameSelection&) = delete;

    [[nodiscard]] const FrameTableModel& model() const { return model_; }
    [[nodiscard]] const KvIAXCapture* capture() const;

    // The selected rows as runs [first, last), in order.
    [[nodiscard]] std::vector<std::pair<int, int>> rowRuns() const;
    [[nodiscard]] std::size_t rowCount() const;
    // The frames of the selected rows, in the order shown.
    [[nodiscard]] std::vector<std::uint32_t> frames() const;

    // The selected rows as text (tab-separated) or CSV, the visible columns
    // with a header line; at most mostCopiedRows of them.
    [[nodiscard]] QString text(bool csv) const;
    static constexpr int mostCopiedRows = 100'000;
    // The same of some frames (1-based) shown, as their rows show them.
    [[nodiscard]] QString rowsText(const std::vector<std::uint32_t>& frames, bool csv,
                                   bool titled = true) const;

    // The comments on the packets of the file the capture read, read again
    // when it changes; none for a capture without a file.
    [[nodiscard]] FrameComments* comments() const;
    // Why the comments could not be read; empty where they were.
    [[nodiscard]] const QString& commentsError() const { return commentsError_; }
    // The comment written on frame `number`'s packet; empty for none.
    [[nodiscard]] QString commentOf(std::uint32_t number) const;
    // The packet (1-based, in the file) that frame `number` shows; 0 for none.
    [[nodiscard]] std::uint32_t packetOf(std::uint32_t number) const;

private:
    const UniformRowsView& table_;
    const FrameTableModel& model_;
    mutable std::unique_ptr<FrameComments> comments_; // read when first asked
    mutable QString commentsError_;
};
