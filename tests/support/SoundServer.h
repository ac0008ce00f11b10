#pragma once

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>
#include <memory>

// A PulseAudio server of the test's own with one null sink, on a socket in a
// private folder, so that playback can be tested on a machine without sound
// hardware. Clients of this process find it through PULSE_SERVER.
class SoundServer final {
public:
    // Empty where the server cannot be started; why() says why.
    bool start() {
        const QString program = QStandardPaths::findExecutable("pulseaudio");
        if (program.isEmpty()) {
            why_ = "pulseaudio is not installed (apt-get install pulseaudio)";
            return false;
        }
        folder_ = std::make_unique<QTemporaryDir>();
        socket_ = folder_->filePath("native");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", folder_->path());
        environment.insert("HOME", folder_->path());
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program,
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
                        "module-null-sink sink_name=quorvex_null", "-L",
                        "module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1"});
        for (int i = 0; i < 100 && !QFile::exists(socket_); ++i) {
            if (process_.state() == QProcess::NotRunning) {
                break;
            }
            QThread::msleep(50);
        }
        if (!QFile::exists(socket_)) {
            why_ = "pulseaudio did not start: " +
                   QString::fromLocal8Bit(process_.readAll()).toStdString();
            stop();
            return false;
        }
        qputenv("PULSE_SERVER", ("unix:" + socket_).toLocal8Bit());
        return true;
    }
    void stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(3000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
        folder_.reset();
    }
    ~SoundServer() { stop(); }

    [[nodiscard]] const std::string& why() const { return why_; }
    [[nodiscard]] QString server() const { return "unix:" + socket_; }
    // The null sink's monitor, to record what was played.
    [[nodiscard]] static QString monitor() { return "quorvex_null.monitor"; }

private:
    std::unique_ptr<QTemporaryDir> folder_;
    QString socket_;
    QProcess process_;
    std::string why_;
};
