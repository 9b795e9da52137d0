#pragma once
#include "platform/SingleInstance.h"

#include <QLocalServer>
#include <QObject>

#include <memory>

namespace kr {

class FileLock;

// Through a local socket under $XDG_RUNTIME_DIR (mode 0600), named from the
// program folder. A later start sends one fixed request and reads one fixed
// answer: nothing else crosses it. Starts are put in line by a lock file
// beside the socket, so two racing starts never both run; a socket left by a
// killed program answers nobody and is replaced. Without a usable runtime
// folder, a lock on the program folder itself keeps one program per folder.
class LocalSingleInstance final : public QObject, public ISingleInstance {
public:
    LocalSingleInstance();
    ~LocalSingleInstance() override;

    bool claim(const QString& programDir, CurrentWindow currentWindow) override;

    // The socket's path for a program folder (the same for every spelling of
    // it); empty without a private runtime folder.
    static QString socketPath(const QString& programDir);

private:
    enum class Peer { Raised, Absent };
    static Peer askRunningProgram(const QString& path);
    bool listen(const QString& path);
    bool claimFolder(const QString& programDir);
    void answer();
    bool raiseCurrentWindow();

    QLocalServer m_server;
    std::unique_ptr<FileLock> m_folderLock; // held for the whole run
    CurrentWindow m_currentWindow;
};

} // namespace kr
