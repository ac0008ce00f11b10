#include "privileges/TerminalBeep.h"

#include <cstdio>
#include <unistd.h>

void TerminalBeep::beep() {
    if (isatty(STDERR_FILENO) != 0) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}
