#include "ui/RecentFiles.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

RecentFiles::RecentFiles(QMenu* menu) : QObject(menu), menu_(menu) {
    connect(menu_, &QMenu::aboutToShow, this, &RecentFiles::fill);
    fill(); // the menu is never empty, and its keys work before it opens
}

QStringList RecentFiles::files() const {
    return QSettings().value("recent/files").toStringList();
}

void RecentFiles::add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = files();
    list.removeAll(absolute);
    list.prepend(absolute);
    QSettings().setValue("recent/files", list.mid(0, mostFiles));
}

void RecentFiles::fill() {
    menu_->clear();
    const QStringList list = files();
    for (int i = 0; i < list.size(); ++i) {
        const QString path = list[i];
        QAction* action = menu_->addAction(
            QStringLiteral("&%1  %2").arg((i + 1) % 10).arg(QFileInfo(path).fileName()));
        action->setToolTip(path);
        action->setStatusTip(path);
        connect(action, &QAction::triggered, this, [this, path] { emit chosen(path); });
    }
    if (list.isEmpty()) {
        menu_->addAction(tr("No Recent Files"))->setEnabled(false);
        return;
    }
    menu_->addSeparator();
    menu_->addAction(tr("&Clear"), this, [] { QSettings().remove("recent/files"); });
}
