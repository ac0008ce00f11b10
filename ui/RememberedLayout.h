#pragma once

#include <QList>
#include <QPointer>
#include <QString>

class QMainWindow;
class QSplitter;
class QTabWidget;
class QHeaderView;

// The layout of a window as its user left it, kept in the settings across
// runs: the window's geometry, each splitter's sizes, each table's columns
// (widths, order, which show) and each tab widget's current tab. Views are
// named once; restore() puts back what the last save() kept of them.
class RememberedLayout final {
public:
    // A table is tracked by its column header.
    void track(QHeaderView* columns, const QString& name);
    void track(QSplitter* splitter, const QString& name);
    void track(QTabWidget* tabs, const QString& name);
    // Whether the table had a layout to put back (else it sizes itself).
    [[nodiscard]] bool restore(QMainWindow& window);
    void save(const QMainWindow& window) const;
    [[nodiscard]] bool wasRestored(const QHeaderView* columns) const;

private:
    template <class View> struct Tracked {
        QPointer<View> view;
        QString name;
    };
    QList<Tracked<QHeaderView>> tables_;
    QList<Tracked<QSplitter>> splitters_;
    QList<Tracked<QTabWidget>> tabs_;
    QList<const QHeaderView*> restored_;
};
