#pragma once

#include <QString>

class QMainWindow;
class QMenu;

// Help: About (the version, and the libraries with theirs), the keyboard
// shortcuts of every menu, and the documentation.
void addHelpMenu(QMenu* help, QMainWindow* window);

// "Quorvex 0.1.0" and a line per library ("Qt 6.4.2", "libpcap version 1.10.3"...).
[[nodiscard]] QString aboutText();
// Every action of the window's menus that has a key, "Edit > Find...<TAB>Ctrl+F" a line.
[[nodiscard]] QString shortcutsText(const QMainWindow& window);
