#pragma once

#include "capturefile/CaptureFileWriter.h"
#include "samples/Scenarios.h"
#include "tests/support/ControllerHarness.h"
#include "ui/MainWindow.h"

#include <QString>

#include <cstdint>
#include <functional>

// The window on the harness's panels, alert and beep.
inline WindowServices windowServices(ControllerHarness& h) {
    WindowServices services;
    services.captures = h.load.services;
    services.liveSettings = &h.settings;
    services.panels = &h.panels;
    services.alert = &h.load.alert;
    services.beep = &h.beep;
    return services;
}

// Writes what `scenario` sends (one of samples/'s scenarios) to `path`; the path.
inline QString writeCapture(const QString& path,
                            const std::function<void(const scenarios::PacketSink&)>& scenario) {
    CaptureFileWriter writer(path.toStdString());
    scenario([&](const iaxgen::Bytes& packet, std::int64_t us) { writer.write(packet, us); });
    return path;
}
