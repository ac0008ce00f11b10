#include "ui/SettingsFile.h"

#include "common/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace settingsfile {

QString keepPrivate() {
    const QString path = QSettings().fileName();
    const std::string file = QFile::encodeName(path).toStdString();
    const std::string folder = QFile::encodeName(QFileInfo(path).absolutePath()).toStdString();
    std::string error;
    if (privatefiles::makePrivateFolder(folder, error) &&
        privatefiles::makePrivateFile(file, error)) {
        return {};
    }
    // For this run only: a folder of the run's own, removed as it ends.
    static std::unique_ptr<QTemporaryDir> runFolder;
    runFolder = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, runFolder->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, runFolder->path());
    return QObject::tr("Settings are kept for this run only: %1")
        .arg(QString::fromLocal8Bit(error.c_str()));
}

} // namespace settingsfile
