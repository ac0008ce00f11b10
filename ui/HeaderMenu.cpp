#include "ui/HeaderMenu.h"

#include <QHeaderView>
#include <QMenu>
#include <QTableView>

void sortOnHeaderClicks(QTableView* table) {
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
}

void addHeaderMenu(QHeaderView* header) {
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        header, &QWidget::customContextMenuRequested, header, [header](const QPoint& at) {
            QWidget* table = header->parentWidget();
            const int column = header->logicalIndexAt(at);
            QMenu menu(table);
            if (column >= 0) {
                const QString title =
                    header->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
                menu.addAction(
                    QObject::tr("Sort %1 Ascending").arg(title), table,
                    [header, column] { header->setSortIndicator(column, Qt::AscendingOrder); });
                menu.addAction(
                    QObject::tr("Sort %1 Descending").arg(title), table,
                    [header, column] { header->setSortIndicator(column, Qt::DescendingOrder); });
            }
            menu.addAction(QObject::tr("Remove Sorting"), table,
                           [header] { header->setSortIndicator(-1, Qt::AscendingOrder); });
            menu.addSeparator();
            if (column >= 0) {
                QAction* hide = menu.addAction(QObject::tr("Hide Column"), table, [header, column] {
                    header->setSectionHidden(column, true);
                });
                hide->setEnabled(header->count() - header->hiddenSectionCount() > 1);
            }
            QMenu* shown = menu.addMenu(QObject::tr("Columns"));
            for (int section = 0; section < header->count(); ++section) {
                QAction* action =
                    shown->addAction(header->model()
                                         ->headerData(section, Qt::Horizontal, Qt::DisplayRole)
                                         .toString());
                action->setCheckable(true);
                action->setChecked(!header->isSectionHidden(section));
                QObject::connect(action, &QAction::toggled, table, [header, section](bool on) {
                    header->setSectionHidden(section, !on);
                });
            }
            menu.addSeparator();
            // As a table's resizeColumnsToContents(): the view measures its cells.
            menu.addAction(QObject::tr("Resize to Contents"), table, [header] {
                header->setResizeContentsPrecision(200);
                header->resizeSections(QHeaderView::ResizeToContents);
            });
            menu.exec(header->viewport()->mapToGlobal(at));
        });
}
