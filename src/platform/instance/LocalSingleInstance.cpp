#include "platform/instance/LocalSingleInstance.h"
#include "platform/instance/FileLock.h"
#include "platform/instance/WindowFront.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <cstdio>

namespace kr {

namespace {

const QByteArray kRequest = QByteArrayLiteral("raise\n");
const QByteArray kRaised = QByteArrayLiteral("raised\n");
const QByteArray kGone = QByteArrayLiteral("gone\n");

// A running program may be inside a blocking call (the browser's page address
// waits up to 5 s): wait longer than that before taking its place.
constexpr int kAnswerWaitMs = 8000;
constexpr int kConnectWaitMs = 1000;
// How long a start waits in line behind another start of the same folder.
constexpr int kLockWaitMs = 15000;

} // namespace

LocalSingleInstance::LocalSingleInstance() : m_folderLock(std::make_unique<FileLock>())
{
    connect(&m_server, &QLocalServer::newConnection, this, &LocalSingleInstance::answer);
}

LocalSingleInstance::~LocalSingleInstance() = default;

QString LocalSingleInstance::socketPath(const QString& programDir)
{
    QString folder = QFileInfo(programDir).canonicalFilePath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QFileInfo(programDir).absoluteFilePath());
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return {};
    const QByteArray digest = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex();
    // Short enough for a socket address (108 bytes) under a usual runtime folder.
    return runtime + QStringLiteral("/keyrovia-") + QString::fromLatin1(digest.left(24));
}

bool LocalSingleInstance::claim(const QString& programDir, CurrentWindow currentWindow)
{
    m_currentWindow = std::move(currentWindow);
    const QString path = socketPath(programDir);
    if (path.isEmpty())
        return claimFolder(programDir); // no private runtime folder: nowhere safe for a socket
    // One start at a time per folder: the one that finds nobody listening
    // becomes the running program before the next one looks. Only a running
    // start holds the line; a lock file left empty, garbled or linked does not.
    FileLock line;
    line.lockFile(path + QStringLiteral(".lock"), kLockWaitMs);
    if (askRunningProgram(path) == Peer::Raised)
        return false;
    return listen(path) || claimFolder(programDir);
}

bool LocalSingleInstance::claimFolder(const QString& programDir)
{
    // Still one program per folder, through a lock on the folder itself; the
    // running one cannot be asked to show its window.
    if (m_folderLock->lockFolder(programDir) != FileLock::Outcome::Held)
        return true; // a folder that takes no lock runs as it did before
    std::fprintf(stderr,
                 "Keyrovia est déjà ouvert pour le dossier %s : sa fenêtre ne peut pas être "
                 "montrée, le dossier d'exécution (XDG_RUNTIME_DIR) étant inutilisable.\n",
                 QFile::encodeName(programDir).constData());
    return false;
}

LocalSingleInstance::Peer LocalSingleInstance::askRunningProgram(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectWaitMs))
        return Peer::Absent; // nobody, or a socket left by a killed program
    socket.write(kRequest);
    socket.flush();
    QByteArray reply;
    while (!reply.endsWith('\n') && socket.waitForReadyRead(kAnswerWaitMs))
        reply += socket.readAll();
    return reply == kRaised ? Peer::Raised : Peer::Absent;
}

bool LocalSingleInstance::listen(const QString& path)
{
    QLocalServer::removeServer(path);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(path))
        return false;
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool LocalSingleInstance::raiseCurrentWindow()
{
    QWidget* window = m_currentWindow ? m_currentWindow() : nullptr;
    if (!window)
        return false;
    // Hidden on purpose (the automatic login types into another program):
    // it is still the running program's, and it comes back on its own.
    if (window->isVisible())
        BringToFront(window);
    return true;
}

void LocalSingleInstance::answer()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine() && socket->bytesAvailable() < kRequest.size())
                return;
            if (socket->readLine(kRequest.size() + 1) != kRequest) {
                socket->disconnectFromServer(); // not one of ours
                return;
            }
            const bool raised = raiseCurrentWindow();
            if (!raised)
                m_server.close(); // ending: the socket goes before the later start takes the folder
            socket->write(raised ? kRaised : kGone);
            socket->disconnectFromServer();
        });
    }
}

} // namespace kr
