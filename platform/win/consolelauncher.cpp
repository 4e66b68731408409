#include "platform/win/consolelauncher.h"

#include "platform/win/winlaunch.h"

void ConsoleLauncher::start(const Host &host) {
    std::wstring error;
    if (!startInNewConsole(L"ping.exe", host.commandLine().toStdWString(), &error))
        throw LaunchError(QString::fromStdWString(error).toStdString());
}

std::unique_ptr<ProcessLauncher> makeSystemLauncher() {
    return std::make_unique<ConsoleLauncher>();
}
