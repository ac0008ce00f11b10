#pragma once

#include "ui/ExportRun.h"

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class FrameSelection;
class QButtonGroup;
class QComboBox;
class QLineEdit;

// Asks which frames an export takes (those shown, the selected rows, the
// marked ones, or a range of frame numbers such as "1-10, 25") and in which
// format. For File > Export Specified Packets and Export Packet Dissections.
class ExportDialog final : public QDialog {
    Q_OBJECT
public:
    enum class Scope { Shown, Selected, Marked, Range };
    ExportDialog(const FrameSelection& selection, const QString& title, const QStringList& formats,
                 QWidget* parent = nullptr);

    [[nodiscard]] Scope scope() const;
    [[nodiscard]] int format() const;
    void choose(Scope scope, const QString& range = {}, int format = 0);

    // The frames (1-based) of the choice, in the order shown: the shown
    // rows are listed as the export goes. Nothing, with `error`, for a
    // range that is not one, or no frames.
    [[nodiscard]] std::optional<ExportRun::Frames> frames(QString& error) const;

private:
    const FrameSelection& selection_;
    QButtonGroup* scopes_;
    QLineEdit* range_;
    QComboBox* formats_;
};

// "1-10, 25" as frame numbers, each once, rising, within 1..last; nothing,
// with `error`, where it is not a range.
std::optional<std::vector<std::uint32_t>> parseFrameRange(const QString& text, std::uint32_t last,
                                                          QString& error);
