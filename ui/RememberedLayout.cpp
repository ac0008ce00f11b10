#include "ui/RememberedLayout.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QHeaderView>

namespace {

QString keyOf(const QString& kind, const QString& name) {
    return "layout/" + kind + "/" + name;
}

} // namespace

void RememberedLayout::track(QHeaderView* columns, const QString& name) {
    tables_.append({columns, name});
}

void RememberedLayout::track(QSplitter* splitter, const QString& name) {
    // A pane dragged to nothing cannot be found again.
    splitter->setChildrenCollapsible(false);
    splitters_.append({splitter, name});
}

void RememberedLayout::track(QTabWidget* tabs, const QString& name) {
    tabs_.append({tabs, name});
}

bool RememberedLayout::restore(QMainWindow& window) {
    const QSettings settings;
    const bool any = window.restoreGeometry(settings.value("layout/geometry").toByteArray());
    for (const auto& splitter : splitters_) {
        if (splitter.view != nullptr) {
            splitter.view->restoreState(
                settings.value(keyOf("splitter", splitter.name)).toByteArray());
        }
    }
    for (const auto& table : tables_) {
        const QByteArray state = settings.value(keyOf("columns", table.name)).toByteArray();
        if (table.view != nullptr && !state.isEmpty() && table.view->restoreState(state)) {
            restored_.append(table.view);
        }
    }
    for (const auto& tabs : tabs_) {
        if (tabs.view != nullptr) {
            const int index = settings.value(keyOf("tab", tabs.name), 0).toInt();
            tabs.view->setCurrentIndex(std::clamp(index, 0, tabs.view->count() - 1));
        }
    }
    return any;
}

void RememberedLayout::save(const QMainWindow& window) const {
    QSettings settings;
    settings.setValue("layout/geometry", window.saveGeometry());
    for (const auto& splitter : splitters_) {
        if (splitter.view != nullptr) {
            settings.setValue(keyOf("splitter", splitter.name), splitter.view->saveState());
        }
    }
    for (const auto& table : tables_) {
        if (table.view != nullptr) {
            settings.setValue(keyOf("columns", table.name), table.view->saveState());
        }
    }
    for (const auto& tabs : tabs_) {
        if (tabs.view != nullptr) {
            settings.setValue(keyOf("tab", tabs.name), tabs.view->currentIndex());
        }
    }
}

bool RememberedLayout::wasRestored(const QHeaderView* columns) const {
    return restored_.contains(columns);
}
