#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <vector>

#include "platform/hostcheck.h"

// Sends one echo request to every host with one fping process (fping: its absolute path), the
// hosts on its standard input, one a line, so that no host word can become an option: a reply
// timeout of a second, no retries, a millisecond between requests (the least fping lets an
// ordinary user ask for). A host word fping would misread on a line (spaces, control characters,
// a leading '#', past the 131 bytes it reads) is CouldNotCheck without being sent. Each host's
// result is read from what fping prints for its word; a host it said nothing of before it ended
// (or was stopped, after hardLimitMs and time for its name lookups) is CouldNotCheck. A list whose
// output could pass what ChildProcess keeps is split between a few fping processes, all at once.
// Results go to each(i, result) for hosts[i] as HostChecker::sweep says.
std::unique_ptr<PendingCheck> sweepWithFping(const QString &fping,
                                             const QProcessEnvironment &environment,
                                             const std::vector<QString> &hosts,
                                             HostChecker::Each each, int hardLimitMs);
