#pragma once

#include "app/FileMove.h"
#include "platform/FilePanels.h"
#include "app/KvController.h"
#include "capture/CapturePermission.h"
#include "capture/LiveCaptureFile.h"
#include "capture/LiveRunGate.h"

#include "tests/support/LoadHarness.h"
#include "tests/support/LoggedBeep.h"
#include "tests/support/RecordingLogSink.h"

#include <QStringList>

// Panels that answer what the test queued; nothing queued, or an empty
// answer, is a cancel.
class ScriptedPanels final : public FilePanels {
public:
    std::optional<QString> chooseFileToOpen() override { return next(); }
    std::optional<QString> chooseSaveDestination(const QString& folder, const QString& name,
                                                 const QString& requiredType) override {
        saveFolder = folder;
        saveName = name;
        saveType = requiredType;
        const auto chosen = next();
        return chosen ? std::optional<QString>(withRequiredType(*chosen, requiredType)) : chosen;
    }
    QStringList answers;
    QString saveFolder, saveName, saveType;

private:
    std::optional<QString> next() {
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isEmpty()) {
            return std::nullopt;
        }
        return answer;
    }
};

class NoPermission final : public CapturePermission {
public:
    void widen() override {}
    void narrow() override {}
};

// A controller with the real hand-off and workers, scripted panels, a
// recording alert and a counted beep.
struct ControllerHarness {
    ControllerHarness() {
        load.services.liveGate = &gate;
        load.services.permission = &permission;
        load.services.liveSettings = &settings;
        load.services.liveFiles = &liveFiles;
#ifdef QUORVEX_CAPTURE_HELPER
        settings.helperPath = QUORVEX_CAPTURE_HELPER; // the tests are not beside it
#endif
        services.captures = load.services;
        services.panels = &panels;
        services.beep = &beep;
    }
    std::unique_ptr<KvController> makeController() {
        return std::make_unique<KvController>(services);
    }

    RecordingLogSink log;
    LoadHarness load;
    LiveRunGate gate;
    NoPermission permission;
    LiveCaptureSettings settings;
    LiveFileRecord liveFiles;
    ScriptedPanels panels;
    LoggedBeep beep{log};
    ControllerServices services;
};
