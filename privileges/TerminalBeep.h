#pragma once

#include "platform/SystemBeep.h"

// Rings the terminal bell on standard error when that is a terminal.
class TerminalBeep final : public SystemBeep {
public:
    void beep() override;
};
