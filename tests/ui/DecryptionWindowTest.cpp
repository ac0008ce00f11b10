// An encrypted call in the window: locked and saying so without the secret,
// read in clear once the secret is given, the secret never shown again.
#include "app/KvIAXCapture.h"
#include "samples/EncryptedCalls.h"
#include "ui/FrameTableModel.h"
#include "ui/MainWindow.h"
#include "ui/SecretsDialog.h"

#include "tests/support/ControllerHarness.h"
#include "tests/support/WindowServices.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QString infoOf(const MainWindow& window, std::uint32_t frame) {
    const FrameTableModel& model = window.frameModel();
    for (int column = 0; column < model.columnCount(); ++column) {
        if (model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() == "Info") {
            return model.index(model.rowOfFrame(frame), column).data().toString();
        }
    }
    return {};
}

QString callTip(const MainWindow& window) {
    return window.callsTable()->model()->index(0, 0).data(Qt::ToolTipRole).toString();
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
        return window.frameModel().rowCount() > 100 &&
               window.callsTable()->model()->rowCount() == 1;
    }));
    ASSERT_TRUE(pumpUntil([&] { return callTip(window).contains("no known secret"); }));
    EXPECT_FALSE(
        window.callsTable()->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(infoOf(window, 3), "Encrypted");
    QDir().mkpath(QUORVEX_BUILD_DIR "/screenshots");
    window.grab().save(QUORVEX_BUILD_DIR "/screenshots/encrypted-call.png");

    // Edit > Decryption Secrets: the secret typed hidden, listed as dots.
    bool shownInClear = true;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<SecretsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->entry()->echoMode(), QLineEdit::Password);
        dialog->entry()->setText("wrong;quorvex-secret");
        dialog->addEntered();
        ASSERT_EQ(dialog->list()->count(), 2);
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
               window.frameModel().rowCount() > 100;
    })) << callTip(window).toStdString();
    EXPECT_TRUE(infoOf(window, 3).startsWith("AUTHREP")) << infoOf(window, 3).toStdString();
    EXPECT_EQ(decryptionsecrets::load(), (std::vector<std::string>{"wrong", "quorvex-secret"}));
    EXPECT_EQ(QFileInfo(QSettings().fileName()).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions{});
    window.grab().save(QUORVEX_BUILD_DIR "/screenshots/decrypted-call.png");
    QSettings().remove("decryption/secrets");
}
