#pragma once

#include <QObject>
#include <QStringList>

class QMenu;

// File > Open Recent: the last ten captures opened, newest first,
// remembered across runs; a file gone since is said so, not opened.
class RecentFiles final : public QObject {
    Q_OBJECT
public:
    static constexpr int mostFiles = 10;
    explicit RecentFiles(QMenu* menu);

    void add(const QString& path);
    [[nodiscard]] QStringList files() const;

signals:
    void chosen(const QString& path);

private:
    void fill();

    QMenu* menu_;
};
