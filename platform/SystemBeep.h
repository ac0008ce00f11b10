#pragma once

// The system beep. The window sounds it through its toolkit; elsewhere the
// terminal bell stands in.
class SystemBeep {
public:
    virtual ~SystemBeep() = default;
    virtual void beep() = 0;
};
