// The frames panel's menu items: Edit (filter, find, copy, marks, time
// reference, comments, Go to Frame), Go, View's columns and time format,
// File > Properties and Statistics.
#include "ui/FramesPanel.h"

#include "app/KvIAXCapture.h"
#include "ui/ColumnChooser.h"
#include "ui/DisplayFilterBar.h"
#include "ui/FindBar.h"
#include "ui/FrameSelection.h"
#include "ui/FrameTableModel.h"
#include "ui/StatisticsWindows.h"
#include "ui/UniformRowsView.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>

void FramesPanel::addEditActions(QMenu* edit) {
    auto add = [&](const QString& title, const QKeySequence& keys, auto slot) {
        QAction* action = edit->addAction(title);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
    };
    add(tr("&Display Filter"), QKeySequence(Qt::CTRL | Qt::Key_Slash),
        [this] { filterBar_->focusExpression(); });
    edit->addSeparator();
    add(tr("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F), [this] { findBar_->open(); });
    add(tr("Find &Next"), QKeySequence(Qt::Key_F3), [this] {
        findBar_->show();
        findBar_->findNext();
    });
    add(tr("Find &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] {
        findBar_->show();
        findBar_->findPrevious();
    });
    edit->addSeparator();
    QMenu* copy = edit->addMenu(tr("&Copy"));
    const auto copyRows = [this](bool csv) {
        if (table_->selectionModel()->selectedRows().isEmpty()) {
            QApplication::beep();
            return;
        }
        QGuiApplication::clipboard()->setText(selection_->text(csv));
    };
    QAction* asText = copy->addAction(tr("Rows as &Text"), this, [copyRows] { copyRows(false); });
    asText->setShortcut(QKeySequence::Copy);
    copy->addAction(tr("Rows as &CSV"), this, [copyRows] { copyRows(true); });
    copy->addAction(tr("Cell &Value"), this, [this] {
        const QModelIndex index = table_->currentIndex();
        if (!index.isValid()) {
            QApplication::beep();
            return;
        }
        QGuiApplication::clipboard()->setText(index.data().toString());
    });
    add(tr("&Mark or Unmark Frame"), QKeySequence(Qt::CTRL | Qt::Key_M), [this] {
        if (const std::uint32_t frame = currentFrame(); frame != 0) {
            model_->toggleMark(frame);
        } else {
            QApplication::beep();
        }
    });
    for (const bool forward : {true, false}) {
        add(forward ? tr("Next Mar&k") : tr("Previous M&ark"),
            QKeySequence(Qt::CTRL | Qt::SHIFT | (forward ? Qt::Key_N : Qt::Key_B)),
            [this, forward] {
                const int row = model_->nextMarkedRow(table_->currentIndex().row(), forward);
                if (row < 0) {
                    QApplication::beep();
                    return;
                }
                tabs_->setCurrentWidget(table_);
                selectRow(row);
            });
    }
    add(tr("Set or Unset &Time Reference"), QKeySequence(Qt::CTRL | Qt::Key_T), [this] {
        const std::uint32_t frame = currentFrame();
        model_->setTimeReference(frame == model_->timeReference() ? 0 : frame);
        emit timeFormatChanged(); // the times shown elsewhere follow the reference too
    });
    add(tr("Packet &Comment..."), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C),
        [this] { askComment(currentFrame()); });
    edit->addSeparator();
    add(tr("&Go to Frame..."), QKeySequence(Qt::CTRL | Qt::Key_G), [this] {
        const KvIAXCapture* capture = model_->capture();
        if (capture == nullptr || capture->iaxFrames().empty()) {
            QApplication::beep();
            return;
        }
        bool ok = false;
        const int number =
            QInputDialog::getInt(this, tr("Go to Frame"), tr("Frame number:"),
                                 std::max(static_cast<int>(currentFrame()), 1), 1,
                                 static_cast<int>(capture->iaxFrames().size()), 1, &ok);
        if (ok) {
            goToFrame(static_cast<std::uint32_t>(number));
        }
    });
}

void FramesPanel::addGoMenu(QMenu* go) {
    auto add = [&](const QString& title, const QKeySequence& keys, auto slot) {
        QAction* action = go->addAction(title);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
    };
    const auto moveTo = [this](int row) {
        if (row < 0 || row >= model_->rowCount()) {
            QApplication::beep();
            return;
        }
        tabs_->setCurrentWidget(table_);
        selectRow(row);
    };
    add(tr("&First Frame"), QKeySequence(Qt::CTRL | Qt::Key_Home), [moveTo] { moveTo(0); });
    add(tr("&Last Frame"), QKeySequence(Qt::CTRL | Qt::Key_End),
        [this, moveTo] { moveTo(model_->rowCount() - 1); });
    add(tr("&Next Frame"), QKeySequence(Qt::CTRL | Qt::Key_Down),
        [this, moveTo] { moveTo(table_->currentIndex().row() + 1); });
    add(tr("&Previous Frame"), QKeySequence(Qt::CTRL | Qt::Key_Up),
        [this, moveTo] { moveTo(table_->currentIndex().row() - 1); });
    go->addSeparator();
    for (const bool forward : {true, false}) {
        add(forward ? tr("Next Frame in &Call") : tr("Previous Frame in C&all"),
            QKeySequence(Qt::CTRL | (forward ? Qt::Key_Period : Qt::Key_Comma)),
            [this, forward] { goAlongCall(forward); });
    }
}

void FramesPanel::goAlongCall(bool forward) {
    const KvIAXCapture* capture = model_->capture();
    const std::uint32_t current = currentFrame();
    if (capture == nullptr || current == 0) {
        QApplication::beep();
        return;
    }
    // The call the frame is in, then the nearest of its frames shown that way.
    for (const auto& call : capture->callTracker().calls()) {
        const auto& numbers = call.frameNumbers;
        if (!std::binary_search(numbers.begin(), numbers.end(), current)) {
            continue;
        }
        const int row = table_->currentIndex().row();
        int best = -1;
        for (const std::uint32_t number : numbers) {
            const int found = model_->rowOfFrame(number);
            if (found >= 0 && (forward ? found > row && (best < 0 || found < best)
                                       : found < row && found > best)) {
                best = found;
            }
        }
        if (best >= 0) {
            selectRow(best);
            return;
        }
        break;
    }
    setNote(
        tr("no frame of this call is shown %1 this one").arg(forward ? tr("after") : tr("before")));
    QApplication::beep();
}

void FramesPanel::addViewMenus(QMenu* view) {
    // Columns: every column of the frame table, shown or hidden, and
    // columns of any field, remembered.
    columns_->addViewMenu(view);
    // Time Format: remembered across runs; the `captured` column's display only.
    using framedisplay::TimeFormat;
    QMenu* formats = view->addMenu(tr("&Time Format"));
    auto* group = new QActionGroup(formats);
    const int remembered = QSettings().value("view/timeFormat", 0).toInt();
    const std::pair<TimeFormat, QString> choices[] = {
        {TimeFormat::DateAndTime, tr("&Date and Time")},
        {TimeFormat::TimeOfDay, tr("Time of &Day")},
        {TimeFormat::SinceFirst, tr("Seconds Since &First Frame")},
        {TimeFormat::SincePrevious, tr("Seconds Since &Previous Frame")},
    };
    for (const auto& [format, title] : choices) {
        QAction* action = formats->addAction(title);
        action->setCheckable(true);
        group->addAction(action);
        if (static_cast<int>(format) == remembered) {
            action->setChecked(true);
            model_->setTimeFormat(format);
        }
        connect(action, &QAction::triggered, this, [this, format = format] {
            model_->setTimeFormat(format);
            QSettings().setValue("view/timeFormat", static_cast<int>(format));
            emit timeFormatChanged();
        });
    }
}

void FramesPanel::addFileActions(QMenu* file, QAction* before) {
    QAction* properties = new QAction(tr("&Properties"), this);
    properties->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_C));
    connect(properties, &QAction::triggered, this, [this] {
        if (const KvIAXCapture* capture = model_->capture()) {
            showProperties(window(), *capture);
        }
    });
    file->insertAction(before, properties);
}

void FramesPanel::addStatisticsMenu(QMenu* statistics,
                                    std::function<CallFrames()> selectedCallFrames) {
    statistics->addAction(tr("Frame &Counts"), this, [this, selectedCallFrames] {
        if (const KvIAXCapture* capture = model_->capture()) {
            showFrameCounts(window(), *capture, selectedCallFrames());
        }
    });
    statistics->addAction(tr("C&onversations"), this, [this] {
        if (const KvIAXCapture* capture = model_->capture()) {
            showConversations(window(), *capture);
        }
    });
    statistics->addAction(tr("&IO Graph"), this, [this] {
        if (KvIAXCapture* capture = model_->capture()) {
            auto* graph = new IoGraphDialog(*capture, window());
            graph->setAttribute(Qt::WA_DeleteOnClose);
            graph->show();
        }
    });
}
