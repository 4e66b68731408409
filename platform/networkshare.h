#pragma once

#include <QString>

// Whether the file or folder at path lies on a network share (NFS, SMB and the like), where the
// system's change notices miss what other machines write. False when it cannot tell. Each system
// has its own, in posix/ or win/.
bool isOnNetworkShare(const QString &path);
