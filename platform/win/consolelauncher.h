#pragma once

#include "platform/processlauncher.h"

// Runs "ping.exe -t ADDRESS" in a console window of its own; ping.exe is looked for in the system
// folder and on PATH, never in the current folder.
class ConsoleLauncher : public ProcessLauncher {
public:
    void start(const Host &host) override;
};
