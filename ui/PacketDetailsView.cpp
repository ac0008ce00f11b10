#include "ui/PacketDetailsView.h"

#include "app/KvIAXCapture.h"
#include "ui/PacketTreeModel.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTextBlock>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr int bytesPerLine = 16;
constexpr int hexColumn = 6;                                 // after "0000  "
constexpr int textColumn = hexColumn + bytesPerLine * 3 + 1; // after the hex and two spaces

} // namespace

PacketDetailsView::PacketDetailsView(QWidget* parent)
    : QWidget(parent), model_(new PacketTreeModel(this)), tree_(new QTreeView(this)),
      bytes_(new QPlainTextEdit(this)), note_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    bytes_->setReadOnly(true);
    bytes_->setLineWrapMode(QPlainTextEdit::NoWrap);
    bytes_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Room for a whole line of the dump: offset, 16 bytes, their text.
    bytes_->setMinimumWidth(QFontMetrics(bytes_->font()).horizontalAdvance(QString(76, 'M')) +
                            bytes_->verticalScrollBar()->sizeHint().width() + 8);
    split->addWidget(tree_);
    split->addWidget(bytes_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);
    note_->setWordWrap(true);
    // Wrapped to the room there is: a long word never widens the window.
    note_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    note_->hide();
    layout->addWidget(note_);

    const QStringList remembered = QSettings().value("details/expanded").toStringList();
    expanded_ = QSet<QString>(remembered.begin(), remembered.end());
    const auto remember = [this](const QModelIndex& index, bool open) {
        const QString path = model_->pathOf(index);
        if (open) {
            expanded_.insert(path);
        } else {
            expanded_.remove(path);
        }
        QSettings().setValue("details/expanded", QStringList(expanded_.begin(), expanded_.end()));
    };
    connect(tree_, &QTreeView::expanded, this,
            [remember](const QModelIndex& i) { remember(i, true); });
    connect(tree_, &QTreeView::collapsed, this,
            [remember](const QModelIndex& i) { remember(i, false); });
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { fieldSelected(current); });
    connect(bytes_, &QPlainTextEdit::cursorPositionChanged, this, &PacketDetailsView::byteClicked);
    connect(tree_, &QWidget::customContextMenuRequested, this, &PacketDetailsView::contextMenu);
}

PacketDetailsView::~PacketDetailsView() = default;

void PacketDetailsView::showFrame(KvIAXCapture* capture, std::uint32_t number,
                                  const std::vector<std::string>& expert, const QString& comment) {
    if (capture != capture_ || !source_) {
        capture_ = capture;
        source_ = capture != nullptr ? std::make_unique<CaptureFieldSource>(
                                           *capture, fields::NeedsCalls | fields::NeedsCaptureFile)
                                     : nullptr;
        std::string error;
        if (source_ && !source_->open(error)) {
            note_->setText(tr("Only what the frame's record keeps is shown: %1")
                               .arg(QString::fromStdString(error)));
        } else {
            note_->clear();
        }
    }
    packet_.clear();
    highlighted_ = {-1, -1};
    if (capture == nullptr || number == 0 || number > capture->iaxFrames().size()) {
        model_->setTree({});
        bytes_->clear();
        note_->hide();
        return;
    }
    const KvIAXFrame& frame = *capture->iaxFrames()[number - 1];
    source_->refresh();
    std::string error;
    if (source_->packets() != nullptr &&
        !source_->packets()->readHead(frame.facts(), frame.facts().capturedLength, packet_,
                                      error)) {
        packet_.clear();
        note_->setText(
            tr("The packet's bytes cannot be read again: %1").arg(QString::fromStdString(error)));
    }
    note_->setVisible(!note_->text().isEmpty());
    fields::TreeItem tree =
        fields::packetTree(frame, number, source_->contextOf(number, nullptr), packet_);
    fields::TreeItem* last = tree.children.empty() ? &tree : &tree.children.back();
    for (const std::string& line : expert) {
        last->children.push_back({nullptr, line, {}, {}, -1, 0, {}});
    }
    if (!comment.isEmpty()) {
        // First, as pcapng readers show a packet's comments.
        fields::TreeItem comments{nullptr, "Packet comments", {}, {}, -1, 0, {}};
        for (const QString& line : comment.split('\n')) {
            comments.children.push_back({nullptr, line.toStdString(), {}, {}, -1, 0, {}});
        }
        tree.children.insert(tree.children.begin(), std::move(comments));
    }
    model_->setTree(std::move(tree));
    std::string dump;
    fields::appendHexDump(dump, packet_);
    const QSignalBlocker quiet(bytes_);
    bytes_->setPlainText(QString::fromStdString(dump));
    bytes_->setExtraSelections({});
    restoreExpanded({});
}

void PacketDetailsView::restoreExpanded(const QModelIndex& parent) {
    const QSignalBlocker quiet(tree_);
    for (int row = 0; row < model_->rowCount(parent); ++row) {
        const QModelIndex index = model_->index(row, 0, parent);
        if (expanded_.contains(model_->pathOf(index))) {
            tree_->expand(index);
            restoreExpanded(index);
        }
    }
}

QString PacketDetailsView::currentExpression() const {
    const fields::TreeItem* item = model_->itemAt(tree_->currentIndex());
    return item != nullptr ? QString::fromStdString(item->expression) : QString();
}

void PacketDetailsView::fieldSelected(const QModelIndex& index) {
    const fields::TreeItem* item = model_->itemAt(index);
    if (item == nullptr || item->offset < 0 || item->length <= 0) {
        highlight(-1, -1);
        return;
    }
    highlight(item->offset, item->offset + item->length);
}

void PacketDetailsView::highlight(int first, int end) {
    highlighted_ = {first, end};
    QList<QTextEdit::ExtraSelection> selections;
    const int bytes = static_cast<int>(packet_.size());
    end = std::min(end, bytes);
    QTextCharFormat format;
    format.setBackground(palette().highlight());
    format.setForeground(palette().highlightedText());
    for (int at = std::max(first, 0); first >= 0 && at < end; ++at) {
        const QTextBlock line = bytes_->document()->findBlockByNumber(at / bytesPerLine);
        for (const int column :
             {hexColumn + (at % bytesPerLine) * 3, textColumn + (at % bytesPerLine)}) {
            QTextEdit::ExtraSelection selection;
            selection.cursor = QTextCursor(line);
            selection.cursor.setPosition(line.position() + column);
            selection.cursor.setPosition(line.position() + column + 2 -
                                             (column >= textColumn ? 1 : 0),
                                         QTextCursor::KeepAnchor);
            selection.format = format;
            selections.append(selection);
        }
    }
    bytes_->setExtraSelections(selections);
    if (first >= 0 && first < bytes) {
        const QTextBlock line = bytes_->document()->findBlockByNumber(first / bytesPerLine);
        QTextCursor cursor(line);
        const QSignalBlocker quiet(bytes_);
        bytes_->setTextCursor(cursor);
        bytes_->ensureCursorVisible();
    }
}

void PacketDetailsView::byteClicked() {
    const QTextCursor cursor = bytes_->textCursor();
    const int line = cursor.blockNumber();
    const int column = cursor.positionInBlock();
    int inLine = -1;
    if (column >= hexColumn && column < hexColumn + bytesPerLine * 3) {
        inLine = (column - hexColumn) / 3;
    } else if (column >= textColumn && column < textColumn + bytesPerLine) {
        inLine = column - textColumn;
    }
    const int byte = line * bytesPerLine + inLine;
    if (inLine < 0 || byte >= static_cast<int>(packet_.size())) {
        return;
    }
    // The deepest line whose bytes hold it.
    QModelIndex best;
    std::function<void(const QModelIndex&)> search = [&](const QModelIndex& parent) {
        for (int row = 0; row < model_->rowCount(parent); ++row) {
            const QModelIndex index = model_->index(row, 0, parent);
            const fields::TreeItem* item = model_->itemAt(index);
            if (item->offset >= 0 && byte >= item->offset && byte < item->offset + item->length) {
                best = index;
                search(index);
                return;
            }
            if (item->offset < 0) {
                search(index); // a group: its lines may hold it
            }
        }
    };
    search({});
    if (best.isValid()) {
        tree_->setCurrentIndex(best);
        tree_->scrollTo(best);
    }
}

void PacketDetailsView::contextMenu(const QPoint& at) {
    const QModelIndex index = tree_->indexAt(at);
    const fields::TreeItem* item = model_->itemAt(index);
    if (item == nullptr) {
        return;
    }
    QMenu menu(this);
    const QString expression = QString::fromStdString(item->expression);
    QAction* apply = menu.addAction(tr("Apply as Filter"), this,
                                    [this, expression] { emit filterRequested(expression, true); });
    QAction* prepare = menu.addAction(tr("Prepare as Filter"), this, [this, expression] {
        emit filterRequested(expression, false);
    });
    QAction* column = menu.addAction(tr("Apply as Column"), this, [this, item] {
        emit columnRequested(QString::fromStdString(item->field->name),
                             QString::fromStdString(item->field->label));
    });
    column->setEnabled(item->field != nullptr && item->field->kind != FieldKind::Protocol);
    menu.addSeparator();
    QAction* copyValue = menu.addAction(tr("Copy Value"), this, [item] {
        QApplication::clipboard()->setText(
            QString::fromStdString(item->field != nullptr ? item->printed : item->text));
    });
    QAction* copyFilter = menu.addAction(tr("Copy as Filter"), this, [expression] {
        QApplication::clipboard()->setText(expression);
    });
    menu.addAction(tr("Copy Line"), this, [item] {
        QApplication::clipboard()->setText(QString::fromStdString(item->text));
    });
    menu.addSeparator();
    menu.addAction(tr("Expand Subtrees"), this, [this, index] { tree_->expandRecursively(index); });
    menu.addAction(tr("Collapse All"), this, [this] { tree_->collapseAll(); });
    for (QAction* action : {apply, prepare, copyFilter}) {
        action->setEnabled(!expression.isEmpty());
    }
    copyValue->setEnabled(item->field != nullptr);
    menu.exec(tree_->viewport()->mapToGlobal(at));
}
