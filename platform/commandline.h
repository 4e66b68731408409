#pragma once

#include <QString>

// The raw argument text after the program name, as one string. Where the system hands the
// arguments over already split, they are joined with single spaces.
QString rawArgumentText(int argc, char **argv);
