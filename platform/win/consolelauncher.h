#pragma once

#include "platform/processlauncher.h"

// Runs "ping.exe -t ADDRESS" in a console window of its own; ping.exe is looked for in the system
// folder and on PATH, never in the current folder.
class ConsoleLauncher : public ProcessLauncher {
public:
    // A port row: norvex-probe.exe on its host and port, in a console that stays open.
    void start(const Host &host) override;
    // tracert.exe on the host word, in a console that stays open when it ends; no cmd.exe.
    void startTraceRoute(const Host &host) override;
};
