#pragma once

// The system beep. The window sounds it through its toolkit; elsewhere the
// terminal bell stands in.
class SystemBeep {
public:
    virtual ~SystemBeep() = default;
    virtual void beep() = 0;
};

// Rings the terminal bell on standard error when that is a terminal.
class TerminalBeep final : public SystemBeep {
public:
    void beep() override;
};
