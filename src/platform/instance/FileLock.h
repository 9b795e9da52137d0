#pragma once
#include <QString>

namespace kr {

// An exclusive lock (flock) on an open file or folder. The kernel lets it go
// when its holder ends, however it ends: a lock is only ever held by a running
// program, and what the file holds (nothing, garbage) does not matter.
class FileLock {
public:
    enum class Outcome {
        Locked,   // this program holds it now
        Held,     // a running program holds it
        Unusable, // it cannot be had here (not a file, no access)
    };

    FileLock() = default;
    ~FileLock() { unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Locks the file at path, made 0600 when missing, waiting up to waitMs
    // for a running holder. A symbolic link in its place is removed, never
    // followed.
    Outcome lockFile(const QString& path, int waitMs);
    // Locks the folder itself, without waiting: nothing is made in it, so a
    // read-only folder can be locked too.
    Outcome lockFolder(const QString& dir);
    void unlock();

private:
    Outcome take(int waitMs);

    int m_fd = -1;
};

} // namespace kr
