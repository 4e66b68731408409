#pragma once

#include <QString>

// The raw argument text after the program name, as one string. Where the system hands the
// arguments over already split, they are joined with single spaces.
QString rawArgumentText(int argc, char **argv);

// Writes text to standard output: UTF-8 bytes, or on a Windows console its own UTF-16 text.
void writeStandardOutput(const QString &text);
