#include "ui/ColumnChooser.h"

#include "ui/FrameTableModel.h"
#include "ui/UniformRowsView.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const char* const fieldColumnsKey = "view/fieldColumns";
const char* const hiddenColumnsKey = "view/hiddenFrameColumns";

// The column a frame table shows by default beside the Parts' Time column.
const FieldColumn sinceFirst{QStringLiteral("Since First"), QStringLiteral("frame.time_relative")};

QList<FieldColumn> rememberedFieldColumns() {
    const QSettings settings;
    if (!settings.contains(fieldColumnsKey)) {
        return {sinceFirst};
    }
    QList<FieldColumn> columns;
    for (const QString& entry : settings.value(fieldColumnsKey).toStringList()) {
        columns.append({entry.section('\t', 0, 0), entry.section('\t', 1)});
    }
    return columns;
}

} // namespace

ColumnChooser::ColumnChooser(UniformRowsView* table, FrameTableModel* model, QWidget* window)
    : QObject(window), table_(table), model_(model), window_(window) {
    const bool first = !QSettings().contains(fieldColumnsKey);
    QString error;
    if (auto columns = FieldColumnSet::make(rememberedFieldColumns(), error)) {
        model_->setFieldColumns(std::move(*columns));
    }
    QHeaderView* header = table_->horizontalHeader();
    const QStringList hidden = QSettings().value(hiddenColumnsKey).toStringList();
    for (int column = 0; column < model_->columnCount(); ++column) {
        header->setSectionHidden(column, hidden.contains(model_->headerData(
                                             column, Qt::Horizontal, Qt::DisplayRole).toString()));
    }
    if (first) {
        // The time since the first frame beside the time the frame was decoded.
        for (int column = 0; column < model_->infoColumn(); ++column) {
            if (model_->keyOfColumn(column) == QStringLiteral("time")) {
                header->moveSection(header->visualIndex(model_->firstFieldColumn()),
                                    header->visualIndex(column) + 1);
            }
        }
    }
}

QList<ColumnChooser::Column> ColumnChooser::shownOrder() const {
    const QHeaderView* header = table_->horizontalHeader();
    QList<Column> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        const bool field = logical >= model_->firstFieldColumn();
        columns.append(
            {logical, model_->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString(),
             field ? model_->fieldColumns().columns().value(logical - model_->firstFieldColumn()).fields
                   : QString(),
             header->isSectionHidden(logical)});
    }
    return columns;
}

bool ColumnChooser::apply(const QList<Column>& columns, QString& error) {
    QList<FieldColumn> fieldColumns;
    for (const Column& column : columns) {
        if (column.fields.isEmpty() &&
            (column.logical < 0 || column.logical >= model_->firstFieldColumn())) {
            error = tr("the column \"%1\" needs a field").arg(column.title);
            return false;
        }
        if (!column.fields.isEmpty()) {
            fieldColumns.append({column.title, column.fields});
        }
    }
    auto made = FieldColumnSet::make(fieldColumns, error);
    if (!made) {
        return false;
    }
    if (made->columns() != model_->fieldColumns().columns()) {
        model_->setFieldColumns(std::move(*made));
    }
    // Then each column where it goes, in the order given.
    QHeaderView* header = table_->horizontalHeader();
    int nextField = model_->firstFieldColumn();
    for (int visual = 0; visual < columns.size() && visual < header->count(); ++visual) {
        const Column& column = columns[visual];
        const int logical = column.fields.isEmpty() ? column.logical : nextField++;
        if (logical < 0 || logical >= header->count()) {
            continue;
        }
        header->moveSection(header->visualIndex(logical), visual);
        header->setSectionHidden(logical, column.hidden);
    }
    save();
    return true;
}

bool ColumnChooser::addFieldColumn(const QString& fields, const QString& title, QString& error) {
    QList<Column> columns = shownOrder();
    const auto info = std::find_if(columns.begin(), columns.end(), [this](const Column& column) {
        return column.logical == model_->infoColumn();
    });
    columns.insert(info, {-1, title, fields, false});
    return apply(columns, error);
}

void ColumnChooser::save() const {
    QStringList fields;
    for (const FieldColumn& column : model_->fieldColumns().columns()) {
        fields << column.title + '\t' + column.fields;
    }
    QStringList hidden;
    for (const Column& column : shownOrder()) {
        if (column.hidden) {
            hidden << column.title;
        }
    }
    QSettings settings;
    settings.setValue(fieldColumnsKey, fields);
    settings.setValue(hiddenColumnsKey, hidden);
}

void ColumnChooser::addViewMenu(QMenu* view) {
    QMenu* menu = view->addMenu(tr("&Columns"));
    // Made as it opens: the columns change as the user adds them.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { fillMenu(menu); });
    fillMenu(menu);
}

void ColumnChooser::fillMenu(QMenu* menu) {
    menu->clear();
    for (const Column& column : shownOrder()) {
        QAction* action = menu->addAction(column.title);
        action->setCheckable(true);
        action->setChecked(!column.hidden);
        connect(action, &QAction::toggled, this, [this, logical = column.logical](bool shown) {
            table_->horizontalHeader()->setSectionHidden(logical, !shown);
            save();
        });
    }
    menu->addSeparator();
    menu->addAction(tr("&Edit Columns..."), this, &ColumnChooser::editColumns);
}

void ColumnChooser::editColumns() {
    QDialog dialog(window_);
    dialog.setWindowTitle(tr("Columns"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* about = new QLabel(tr("Columns of any field show its values as quorvex-dump -T fields "
                                "prints them; several fields joined by \"or\" show the first a "
                                "frame has."),
                             &dialog);
    about->setWordWrap(true);
    layout->addWidget(about);
    auto* list = new QTableWidget(0, 3, &dialog);
    list->setObjectName("columns");
    list->setHorizontalHeaderLabels({tr("Shown"), tr("Title"), tr("Field")});
    list->horizontalHeader()->setStretchLastSection(true);
    list->verticalHeader()->hide();
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list, 1);
    // A row a column; the Parts' and the table's own keep their titles.
    const auto addRow = [list](const Column& column, int at) {
        list->insertRow(at);
        auto* shown = new QTableWidgetItem;
        shown->setCheckState(column.hidden ? Qt::Unchecked : Qt::Checked);
        shown->setData(Qt::UserRole, column.logical);
        list->setItem(at, 0, shown);
        auto* title = new QTableWidgetItem(column.title);
        auto* fields = new QTableWidgetItem(column.fields);
        if (column.logical >= 0 && column.fields.isEmpty()) {
            title->setFlags(title->flags() & ~Qt::ItemIsEditable);
            fields->setFlags(fields->flags() & ~Qt::ItemIsEditable);
        }
        list->setItem(at, 1, title);
        list->setItem(at, 2, fields);
    };
    for (const Column& column : shownOrder()) {
        addRow(column, list->rowCount());
    }
    list->resizeColumnsToContents();

    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(tr("&Add"), &dialog);
    auto* remove = new QPushButton(tr("&Remove"), &dialog);
    auto* up = new QPushButton(tr("&Up"), &dialog);
    auto* down = new QPushButton(tr("&Down"), &dialog);
    for (QPushButton* button : {add, remove, up, down}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, list, [list, addRow] {
        const int at = std::max(list->currentRow() + 1, 0);
        addRow({-1, QString(), QStringLiteral("iax2.src_call"), false}, at);
        list->setCurrentCell(at, 2);
        list->editItem(list->item(at, 2));
    });
    connect(remove, &QPushButton::clicked, list, [list] {
        const int row = list->currentRow();
        // Only a field column goes; the others are hidden instead.
        if (row >= 0 && !list->item(row, 2)->text().isEmpty()) {
            list->removeRow(row);
        }
    });
    const auto move = [list](int step) {
        const int row = list->currentRow();
        const int to = row + step;
        if (row < 0 || to < 0 || to >= list->rowCount()) {
            return;
        }
        for (int column = 0; column < list->columnCount(); ++column) {
            QTableWidgetItem* item = list->takeItem(row, column);
            list->setItem(row, column, list->takeItem(to, column));
            list->setItem(to, column, item);
        }
        list->setCurrentCell(to, list->currentColumn());
    };
    connect(up, &QPushButton::clicked, list, [move] { move(-1); });
    connect(down, &QPushButton::clicked, list, [move] { move(1); });

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(box, &QDialogButtonBox::accepted, &dialog, [&] {
        QList<Column> columns;
        for (int row = 0; row < list->rowCount(); ++row) {
            columns.append({list->item(row, 0)->data(Qt::UserRole).toInt(),
                            list->item(row, 1)->text(), list->item(row, 2)->text().trimmed(),
                            list->item(row, 0)->checkState() != Qt::Checked});
        }
        QString error;
        if (!apply(columns, error)) {
            QMessageBox::warning(&dialog, tr("Columns"), error);
            return; // the dialog stays, as the user left it
        }
        dialog.accept();
    });
    dialog.resize(560, 480);
    dialog.exec();
}
