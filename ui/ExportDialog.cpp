#include "ui/ExportDialog.h"

#include "app/KvIAXCapture.h"
#include "ui/FrameTableModel.h"
#include "ui/FrameSelection.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

std::optional<std::vector<std::uint32_t>> parseFrameRange(const QString& text, std::uint32_t last,
                                                          QString& error) {
    std::vector<std::uint32_t> frames;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        const QStringList ends = part.trimmed().split('-');
        bool okFirst = false, okLast = ends.size() == 1;
        const uint first = ends.value(0).trimmed().toUInt(&okFirst);
        const uint to = ends.size() == 2 ? ends[1].trimmed().toUInt(&okLast) : first;
        if (ends.size() > 2 || !okFirst || !okLast || first == 0 || to < first || to > last) {
            error =
                QObject::tr("'%1' is not a range of frames 1 to %2").arg(part.trimmed()).arg(last);
            return std::nullopt;
        }
        for (uint frame = first; frame <= to; ++frame) {
            frames.push_back(frame);
        }
    }
    if (frames.empty()) {
        error = QObject::tr("no frames: write their numbers, such as 1-10, 25");
        return std::nullopt;
    }
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

ExportDialog::ExportDialog(const FrameSelection& selection, const QString& title,
                           const QStringList& formats, QWidget* parent)
    : QDialog(parent), selection_(selection), scopes_(new QButtonGroup(this)),
      range_(new QLineEdit(this)), formats_(new QComboBox(this)) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    const FrameTableModel& model = selection.model();
    const std::pair<Scope, QString> choices[] = {
        {Scope::Shown, tr("All frames &shown (%1)").arg(model.rowCount())},
        {Scope::Selected, tr("Selected &rows (%1)").arg(selection.rowCount())},
        {Scope::Marked, tr("&Marked frames (%1)").arg(model.marks().size())},
        {Scope::Range, tr("Frames &numbered:")},
    };
    for (const auto& [scope, text] : choices) {
        auto* button = new QRadioButton(text, this);
        scopes_->addButton(button, static_cast<int>(scope));
        layout->addWidget(button);
    }
    scopes_->button(static_cast<int>(Scope::Shown))->setChecked(true);
    range_->setPlaceholderText(tr("e.g. 1-10, 25"));
    layout->addWidget(range_);
    connect(range_, &QLineEdit::textEdited, this,
            [this] { scopes_->button(static_cast<int>(Scope::Range))->setChecked(true); });
    auto* form = new QFormLayout;
    formats_->addItems(formats);
    form->addRow(tr("&Format:"), formats_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&Export..."));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ExportDialog::Scope ExportDialog::scope() const {
    return static_cast<Scope>(scopes_->checkedId());
}

int ExportDialog::format() const {
    return formats_->currentIndex();
}

void ExportDialog::choose(Scope scope, const QString& range, int format) {
    scopes_->button(static_cast<int>(scope))->setChecked(true);
    range_->setText(range);
    formats_->setCurrentIndex(format);
}

std::optional<ExportRun::Frames> ExportDialog::frames(QString& error) const {
    const FrameTableModel& model = selection_.model();
    std::vector<std::uint32_t> frames;
    switch (scope()) {
    case Scope::Shown:
        if (model.rowCount() == 0) {
            error = tr("no frames to export");
            return std::nullopt;
        }
        return ExportRun::Frames(model);
    case Scope::Selected:
        if (selection_.rowCount() == 0) {
            error = tr("no frames to export");
            return std::nullopt;
        }
        return ExportRun::Frames(model, selection_.rowRuns());
    case Scope::Marked:
        frames = model.marks();
        break;
    case Scope::Range: {
        const KvIAXCapture* capture = model.capture();
        const auto last =
            capture != nullptr ? static_cast<std::uint32_t>(capture->iaxFrames().size()) : 0u;
        auto range = parseFrameRange(range_->text(), last, error);
        if (!range) {
            return std::nullopt;
        }
        frames = std::move(*range);
        break;
    }
    }
    if (frames.empty()) {
        error = tr("no frames to export");
        return std::nullopt;
    }
    return frames;
}
