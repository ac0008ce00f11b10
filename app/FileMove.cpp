#include "app/FileMove.h"

#include "common/FilePlacement.h"
#include "platform/FilePanels.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

bool copyToHiddenFile(const std::string& source, const std::string& hidden) {
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    struct stat info {};
    fstat(in, &info);
    const int out =
        open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno != EINTR) {
                ok = false;
                break;
            }
            done += put > 0 ? put : 0;
        }
        if (!ok) {
            break;
        }
    }
    ok = fsync(out) == 0 && ok;
    ok = close(out) == 0 && ok;
    close(in);
    if (!ok) {
        unlink(hidden.c_str());
    }
    return ok;
}

} // namespace

bool moveFileWithoutReplacing(const QString& sourcePath, const QString& destinationPath) {
    const std::string source = QFile::encodeName(sourcePath).toStdString();
    const std::string destination = QFile::encodeName(destinationPath).toStdString();
    struct stat info {};
    if (lstat(source.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    std::string error;
    if (placeWithoutReplacing(source, destination, error)) {
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    const QFileInfo target(destinationPath);
    const std::string hidden =
        QFile::encodeName(target.absolutePath() + "/." + target.fileName() + ".part").toStdString();
    if (!copyToHiddenFile(source, hidden)) {
        return false;
    }
    if (!placeWithoutReplacing(hidden, destination, error)) {
        unlink(hidden.c_str());
        return false;
    }
    unlink(source.c_str());
    return true;
}

QString withRequiredType(const QString& path, const QString& requiredType) {
    const QString suffix = "." + requiredType;
    return path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix;
}
