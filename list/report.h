#pragma once

#include <QString>

struct LoadedList;

// What norvex-check prints for a list, and the exit status it ends with.
struct ListReport {
    QString text;
    int status;  // 0: the list loads; 1: loading would fail
};

// Describes what loading made of a list: the title, one line per row (number, label, address,
// line it came from, counted from 1), the window height, on failure the reason in plain words,
// and hints where the list gives fewer rows than it seems to hold (no marker, nothing after it,
// line ends that end no line).
ListReport reportList(const LoadedList &list);

// A label or address in double quotes, with quotes, backslashes and control characters escaped
// so that spaces at its ends and invisible characters show.
QString quoteField(const QString &s);
