#include "ui/QtPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextDocument>

std::optional<QString> QtFilePanels::chooseFileToOpen() {
    QFileDialog panel(parent_, QObject::tr("Open Capture"));
    panel.setFileMode(QFileDialog::ExistingFile); // one file, of any type
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return panel.selectedFiles().first();
}

std::optional<QString> QtFilePanels::chooseSaveDestination(const QString& folder,
                                                           const QString& name,
                                                           const QString& requiredType) {
    // The panel says what is saved: a capture, audio, or a text of the frames.
    const bool capture = requiredType == "pcap" || requiredType == "pcapng";
    const bool audio = requiredType == "wav";
    QFileDialog panel(parent_,
                      capture ? QObject::tr("Save Capture")
                      : audio ? QObject::tr("Export Audio")
                              : QObject::tr("Export Packet Dissections"),
                      folder);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setNameFilter(capture ? QObject::tr("Capture files (*.%1)").arg(requiredType)
                        : audio ? QObject::tr("WAV audio (*.%1)").arg(requiredType)
                                : QObject::tr("%1 files (*.%2)").arg(requiredType.toUpper(),
                                                                     requiredType));
    panel.setDefaultSuffix(requiredType);
    panel.selectFile(name);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return withRequiredType(panel.selectedFiles().first(), requiredType);
}

void QtCaptureAlert::showCaptureFailed(std::string_view informativeText) {
    QMessageBox alert(parent_);
    alert.setIcon(QMessageBox::Warning);
    alert.setText(QStringLiteral("Capture failed"));
    // The library's text exactly as it is: the informative label guesses
    // between plain and rich text, so it gets rich text that shows the
    // characters unchanged, and a "<" in a message never becomes markup.
    alert.setInformativeText(Qt::convertFromPlainText(
        QString::fromUtf8(informativeText.data(), static_cast<qsizetype>(informativeText.size()))));
    alert.setStandardButtons(QMessageBox::Ok);
    alert.button(QMessageBox::Ok)->setText(QStringLiteral("Ok"));
    alert.setDefaultButton(QMessageBox::Ok);
    alert.exec();
}

void QtBeep::beep() {
    QApplication::beep();
}
