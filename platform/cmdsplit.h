#pragma once

#include <QString>
#include <QStringList>

// Splits a command line into words the way the Microsoft C runtime does (2008 rules onwards):
// spaces and tabs separate words; double quotes group; inside quotes "" is a literal quote;
// 2n backslashes before a quote give n and a grouping quote, 2n+1 give n and a literal quote;
// other backslashes are literal. The text ends at a NUL character, as a C string would.
QStringList splitWindowsCommandLine(const QString &commandLine);
