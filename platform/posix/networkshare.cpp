#include "platform/networkshare.h"

#include <QFile>
#include <cstdint>

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>

namespace {

// The file systems, as statfs() names them in f_type, whose files other machines change behind
// the kernel's back: no inotify event reports those writes.
constexpr std::uint32_t kNetworkFileSystems[] = {
    NFS_SUPER_MAGIC,
    SMB_SUPER_MAGIC,
    CIFS_SUPER_MAGIC,
    SMB2_SUPER_MAGIC,  // a share mounted as smb3 rather than cifs
    CEPH_SUPER_MAGIC,
    AFS_SUPER_MAGIC,  // OpenAFS
    AFS_FS_MAGIC,     // the kernel's own AFS client
    CODA_SUPER_MAGIC,
    V9FS_MAGIC,  // 9p: a virtual machine's folders shared by its host, WSL's Windows drives
    // Cluster file systems: other machines write the same disk.
    OCFS2_SUPER_MAGIC,
    0x01161970,  // GFS2
    // Every FUSE file system, as statfs() cannot tell them apart: most a desktop mounts are
    // remote (sshfs, rclone, the desktop's SMB and SFTP mounts, the sandbox document portal),
    // and on a local one (ntfs-3g) a look every few seconds costs next to nothing.
    FUSE_SUPER_MAGIC,
};

}  // namespace

bool isOnNetworkShare(const QString &path) {
    struct statfs fs {};
    if (::statfs(QFile::encodeName(path).constData(), &fs) != 0) return false;
    // f_type is signed on some systems; the magic numbers are 32 bits wide.
    const auto type = static_cast<std::uint32_t>(fs.f_type);
    for (const std::uint32_t network : kNetworkFileSystems) {
        if (type == network) return true;
    }
    return false;
}

#else

// Other Unix systems: change notices alone, as on a local disk.
bool isOnNetworkShare(const QString &) { return false; }

#endif
