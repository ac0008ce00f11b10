// An encrypted call in the window: locked and saying so without the secret,
// read in clear once the secret is given, the secret never shown again.
#include "app/KvIAXCapture.h"
#include "samples/EncryptedCalls.h"
#include "ui/FrameTableModel.h"
#include "ui/MainWindow.h"
#include "ui/SecretsDialog.h"
#include "ui/SettingsFile.h"

#include "tests/support/ControllerHarness.h"
#include "tests/support/WindowServices.h"
#include "tests/support/WindowParts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace {

QString infoOf(const MainWindow& window, std::uint32_t frame) {
    const FrameTableModel& model = parts(window).frameModel();
    for (int column = 0; column < model.columnCount(); ++column) {
        if (model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() == "Info") {
            return model.index(model.rowOfFrame(frame), column).data().toString();
        }
    }
    return {};
}

QString callTip(const MainWindow& window) {
    return parts(window).callsTable()->model()->index(0, 0).data(Qt::ToolTipRole).toString();
}

} // namespace

TEST(DecryptionWindow, AnEncryptedCallIsLockedUntilItsSecretIsGivenThenReadsInClear) {
    QTemporaryDir folder;
    const QString capture = writeCapture(folder.filePath("encrypted.pcap"), [](const auto& sink) {
        scenarios::encryptedToneCall(sink, {}, 1.0);
    });
    QSettings().remove("decryption/secrets");
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.resize(1366, 768);
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    ASSERT_TRUE(pumpUntil([&] {
        return parts(window).frameModel().rowCount() > 100 &&
               parts(window).callsTable()->model()->rowCount() == 1;
    }));
    ASSERT_TRUE(pumpUntil([&] { return callTip(window).contains("no known secret"); }));
    EXPECT_FALSE(parts(window)
                     .callsTable()
                     ->model()
                     ->index(0, 0)
                     .data(Qt::DecorationRole)
                     .value<QIcon>()
                     .isNull());
    EXPECT_EQ(infoOf(window, 3), "Encrypted");
    QDir().mkpath(QUORVEX_BUILD_DIR "/screenshots");
    window.grab().save(QUORVEX_BUILD_DIR "/screenshots/encrypted-call.png");

    // Edit > Decryption Secrets: the secret typed hidden, listed as dots.
    bool shownInClear = true;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<SecretsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->entry()->echoMode(), QLineEdit::Password);
        // Return adds what was typed, and the dialog stays open.
        dialog->entry()->setText("wrong;quorvex-secret");
        QTest::keyClick(dialog->entry(), Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible());
        ASSERT_EQ(dialog->list()->count(), 2);
        EXPECT_TRUE(dialog->entry()->text().isEmpty());
        shownInClear = dialog->list()->item(1)->text().contains("quorvex");
        dialog->grab().save(QUORVEX_BUILD_DIR "/screenshots/decryption-secrets.png");
        dialog->accept();
    });
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == "Decryption &Secrets...") {
            action->trigger();
        }
    }
    EXPECT_FALSE(shownInClear);
    // The file is read again with the secrets, and the call opens.
    ASSERT_TRUE(pumpUntil([&] {
        return callTip(window).contains("read with a known secret") &&
               parts(window).frameModel().rowCount() > 100;
    })) << callTip(window).toStdString();
    EXPECT_TRUE(infoOf(window, 3).startsWith("AUTHREP")) << infoOf(window, 3).toStdString();
    EXPECT_EQ(decryptionsecrets::load(), (std::vector<std::string>{"wrong", "quorvex-secret"}));
    EXPECT_EQ(QFileInfo(QSettings().fileName()).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions{});
    window.grab().save(QUORVEX_BUILD_DIR "/screenshots/decrypted-call.png");
    QSettings().remove("decryption/secrets");
}

// The settings file holds the secrets: watched from another thread while
// they are saved again and again, neither it nor the file each save writes
// first is ever readable by others, not even where an earlier version left
// it readable; nor may others look into its folder. (Qt's lock file beside
// it holds a process number, and no secret.)
TEST(DecryptionWindow, TheSecretsAreNeverInAFileOthersMayRead) {
    const QString file = QSettings().fileName();
    const std::string folder = QFile::encodeName(QFileInfo(file).absolutePath()).toStdString();
    QDir().mkpath(QFileInfo(file).absolutePath());
    ::chmod(folder.c_str(), 0755);
    QSettings().setValue("recent/files", QStringList{"/captures/a.pcap"});
    QSettings().sync();
    ::chmod(QFile::encodeName(file).constData(), 0644);
    ASSERT_EQ(settingsfile::keepPrivate(), "");

    std::atomic<bool> saving{true};
    std::atomic<int> looks{0};
    std::string readable;
    std::thread watcher([&] {
        while (saving && readable.empty()) {
            struct stat status {};
            if (::stat(folder.c_str(), &status) == 0 && (status.st_mode & 077) != 0) {
                readable = folder;
            }
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                if (entry.path().extension() != ".lock" &&
                    ::stat(entry.path().c_str(), &status) == 0 && (status.st_mode & 077) != 0) {
                    readable = entry.path().string();
                }
            }
            ++looks;
        }
    });
    for (int i = 0; i < 200; ++i) {
        decryptionsecrets::save({"secret-" + std::to_string(i)});
    }
    saving = false;
    watcher.join();
    EXPECT_EQ(readable, "");
    EXPECT_GT(looks, 10);
    EXPECT_EQ(decryptionsecrets::load(), std::vector<std::string>{"secret-199"});
    QSettings().remove("decryption/secrets");
}

// A settings folder another user may change (or that a link planted by one
// leads into) is not written: the settings are kept for the run alone.
TEST(DecryptionWindow, ASettingsFolderOthersMayChangeIsNotWritten) {
    QTemporaryDir scratch;
    const QString planted = scratch.filePath("home");
    QDir().mkpath(planted + "/Quorvex");
    ::chmod(QFile::encodeName(planted).constData(), 0777);
    QFile target(scratch.filePath("target"));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("untouched");
    target.close();
    QFile::link(target.fileName(), planted + "/Quorvex/Quorvex.conf");
    const QString usual = QFileInfo(QSettings().fileName()).absolutePath() + "/..";
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, planted);
    const QString warning = settingsfile::keepPrivate();
    EXPECT_TRUE(warning.startsWith("Settings are kept for this run only: "))
        << warning.toStdString();
    EXPECT_TRUE(warning.contains("may be changed by others (mode 777)")) << warning.toStdString();
    QSettings().setValue("recent/files", QStringList{"/captures/b.pcap"});
    QSettings().sync();
    EXPECT_FALSE(QSettings().fileName().startsWith(planted));
    EXPECT_EQ(QSettings().value("recent/files").toStringList(), QStringList{"/captures/b.pcap"});
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), "untouched");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QDir::cleanPath(usual));
}
