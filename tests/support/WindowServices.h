#pragma once

#include "tests/support/ControllerHarness.h"
#include "ui/MainWindow.h"

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
