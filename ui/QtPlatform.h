#pragma once

#include "app/FileMove.h"
#include "platform/FilePanels.h"
#include "platform/CaptureAlert.h"
#include "platform/SystemBeep.h"

#include <QWidget>

// The window's stand-ins for the platform: modal panels, the alert, the beep.

class QtFilePanels final : public FilePanels {
public:
    explicit QtFilePanels(QWidget* parent) : parent_(parent) {}
    std::optional<QString> chooseFileToOpen() override;
    std::optional<QString> chooseSaveDestination(const QString& folder, const QString& name,
                                                 const QString& requiredType) override;

private:
    QWidget* parent_;
};

// "Capture failed", one "Ok" button, the error as plain informative text.
class QtCaptureAlert final : public CaptureAlert {
public:
    explicit QtCaptureAlert(QWidget* parent) : parent_(parent) {}
    void showCaptureFailed(std::string_view informativeText) override;

private:
    QWidget* parent_;
};

class QtBeep final : public SystemBeep {
public:
    void beep() override;
};
