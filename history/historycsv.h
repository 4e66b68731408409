#pragma once

#include <QString>
#include <vector>

#include "platform/host.h"

class SessionHistory;

// The CSV text of the session: a header line, then for each row in list order (rows that share an
// address each get that address's history) one line per result in time order:
//
//   time,label,address,result,round_trip_ms,detail
//   2026-12-07T14:03:07.120+01:00,Gateway,10.0.0.1,answered,0.412,
//   2026-12-07T14:03:12.250+01:00,Gateway,10.0.0.1,no answer,,no reply within 1 s
//
// time is ISO 8601 with its offset from UTC; result is "answered", "no answer", "could not check"
// or "summary". A summary line stands for results kept only as counts: its time is where the
// stretch begins, round_trip_ms is their average, and detail says the rest ("over 1 minute: 12
// sent, 1 lost, 0 could not check, min 0.3 ms, max 0.9 ms, jitter 0.1 ms"). Fields are quoted as
// RFC 4180 asks; lines end in CR LF; the text is UTF-8 with a byte-order mark, which spreadsheets
// need to take it for UTF-8.
QByteArray historyCsv(const std::vector<Host> &rows, const SessionHistory &history);

// Writes historyCsv() to path, all or nothing (the file is replaced only once it is complete).
// Returns why it could not, in words; empty when it was saved.
QString saveHistoryCsv(const QString &path, const std::vector<Host> &rows,
                       const SessionHistory &history);
