#pragma once

#include <QString>

#include "history/hosthistory.h"

// A round-trip time in ms with three significant digits at most, no trailing zeros and a point
// for decimals, whatever the locale: "0.045", "0.4", "12.3", "250".
QString formatMs(double ms);

// What a host's results say, for screen readers and tooltips: "answered 28 of 30, average
// 0.4 ms, last lost at 14:03:07"; "not checked yet" when there is no result.
QString describeHistory(const HostStats &stats);

// The short form, for a mark's tooltip: "2 of 30 lost, average 0.5 ms". Empty when no request
// was sent.
QString describeHistoryBriefly(const HostStats &stats);

// Replies lost of requests sent, with the share: "2 / 30 (6.7 %)". Empty when none was sent.
QString describeLoss(const HostStats &stats);

// A result's time as the board shows it: "14:03:07", with the date when it is not that of
// reference (the newest result's).
QString describeTime(const QDateTime &at, const QDateTime &reference);
