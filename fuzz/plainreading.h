#pragma once

#include <string>
#include <string_view>
#include <vector>

// The list rules written a second time, as plainly as possible and with nothing of norvex's own
// code or Qt's text classes: the oracle that loading is checked against, by the fuzz target and
// by the hostile-list tests.
struct PlainRow {
    std::u16string label, address;
    int line;  // 0-based
};

struct PlainReading {
    std::u16string text;  // the file's bytes as decoded
    bool fails = false;   // a limit was passed
    int markerLine = -1;
    std::vector<PlainRow> rows;  // those built before a failure included
    int height = 1045;           // the window's outer height in twips
};

// Decodes bytes as a list file: a UTF-8 or UTF-16 mark picks that encoding, else valid UTF-8,
// else Windows-1252.
std::u16string decodePlainly(std::string_view bytes);

// What loading a list file of these bytes must give.
PlainReading readPlainly(std::string_view bytes);
