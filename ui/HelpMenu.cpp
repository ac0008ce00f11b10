#include "ui/HelpMenu.h"

#include "filter/DisplayFilter.h"
#include "media/VoiceCodecs.h"

#include <QDesktopServices>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QUrl>
#include <QVBoxLayout>
#include <QDialog>

#include <pcap/pcap.h>

namespace {

// Where the documentation is: installed beside the program, or the source
// tree of a build.
QString documentationFolder() {
    for (const QString& folder :
         {QStringLiteral("/usr/share/doc/quorvex"), QStringLiteral(QUORVEX_SOURCE_DIR "/docs")}) {
        if (QDir(folder).exists()) {
            return folder;
        }
    }
    return {};
}

void listShortcuts(const QMenu* menu, const QString& path, QStringList& lines) {
    for (QAction* action : menu->actions()) {
        const QString title = QString(action->text()).remove('&');
        if (action->menu() != nullptr) {
            listShortcuts(action->menu(), path + " > " + title, lines);
        } else if (!action->shortcut().isEmpty()) {
            lines << path + " > " + title + '\t' +
                         action->shortcut().toString(QKeySequence::NativeText);
        }
    }
}

} // namespace

QString aboutText() {
    QStringList lines;
    lines << QStringLiteral("Quorvex %1").arg(QUORVEX_VERSION);
    lines << QObject::tr("A packet analyzer for IAX2 (RFC 5456) voice over IP.") << QString();
    lines << QObject::tr("Built with:");
    lines << QStringLiteral("Qt %1 (running %2)").arg(QT_VERSION_STR, qVersion());
    lines << QString::fromLatin1(pcap_lib_version());
    for (const std::string& library : media::codecLibraries()) {
        lines << QString::fromStdString(library);
    }
    lines << QString::fromStdString(filter::regexLibrary());
    return lines.join('\n');
}

QString shortcutsText(const QMainWindow& window) {
    QStringList lines;
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() != nullptr) {
            listShortcuts(action->menu(), QString(action->text()).remove('&'), lines);
        }
    }
    return lines.join('\n');
}

void addHelpMenu(QMenu* help, QMainWindow* window) {
    help->addAction(QObject::tr("&Keyboard Shortcuts"), window, [window] {
        auto* dialog = new QDialog(window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowTitle(QObject::tr("Keyboard Shortcuts"));
        auto* layout = new QVBoxLayout(dialog);
        auto* text = new QPlainTextEdit(shortcutsText(*window), dialog);
        text->setReadOnly(true);
        text->setTabStopDistance(320);
        layout->addWidget(text);
        dialog->resize(560, 480);
        dialog->show();
    });
    QAction* docs = help->addAction(QObject::tr("&Documentation"), window, [] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(documentationFolder()));
    });
    docs->setShortcut(QKeySequence::HelpContents);
    docs->setEnabled(!documentationFolder().isEmpty());
    help->addSeparator();
    help->addAction(QObject::tr("&About Quorvex"), window, [window] {
        QMessageBox::about(window, QObject::tr("About Quorvex"), aboutText());
    });
}
