#include "ToolbarButtons.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace kr::companion {

namespace {

// Enough for any real toolbar; a damaged or hostile layer cannot keep us busy.
constexpr quint32 kMaxKeys = 1000;
constexpr quint32 kMaxValues = 100;
constexpr int kNameCapacity = RegMaxKeyNameChars + 1;
constexpr int kDataCapacity = 32 * 1024;

// A string value holds its text and a terminating NUL.
QString stringData(quint32 type, const QByteArray& data)
{
    if (type != REG_SZ) {
        return {};
    }
    QByteArray text = data;
    while (text.endsWith('\0')) {
        text.chop(1);
    }
    return QString::fromLocal8Bit(text);
}

// A key's values as stored: the button's texts, and its "CLSID" and "Exec".
struct StoredButton {
    ToolbarButton button;
    QString clsid;
    QString exec;
};

std::optional<StoredButton> readKey(IRegistry& registry, RegKey parent, const QString& name)
{
    RegKey key = 0;
    if (registry.openKey(parent, name, KEY_QUERY_VALUE, key) != RegOk || key == 0) {
        return std::nullopt;
    }
    StoredButton stored;
    stored.button.key = name;
    for (quint32 index = 0; index < kMaxValues; ++index) {
        QString valueName;
        quint32 type = 0;
        QByteArray data;
        const long status =
            registry.enumValue(key, index, kNameCapacity, kDataCapacity, valueName, type, data);
        if (status == RegMoreData) {
            continue; // a value too big for a button; the others still count
        }
        if (status != RegOk) {
            break;
        }
        const QString text = stringData(type, data);
        if (valueName.compare(QLatin1String("CLSID"), Qt::CaseInsensitive) == 0) {
            stored.clsid = text;
        } else if (valueName.compare(QLatin1String("Exec"), Qt::CaseInsensitive) == 0) {
            stored.exec = text;
        } else if (valueName.compare(QLatin1String("ButtonText"), Qt::CaseInsensitive) == 0) {
            stored.button.title = text;
        } else if (valueName.compare(QLatin1String("Icon"), Qt::CaseInsensitive) == 0) {
            stored.button.icon = text;
        }
    }
    registry.closeKey(key);
    return stored;
}

std::optional<ToolbarButton> readButton(IRegistry& registry, RegKey parent, const QString& name)
{
    std::optional<StoredButton> stored = readKey(registry, parent, name);
    if (!stored || stored->clsid.compare(QLatin1String(kRunProgramClsid), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    stored->button.program = executableOf(stored->exec);
    if (stored->button.program.isEmpty()) {
        return std::nullopt;
    }
    return stored->button;
}

// The names of the keys under the open parent, at most kMaxKeys.
QStringList keyNames(IRegistry& registry, RegKey parent)
{
    QStringList names;
    for (quint32 index = 0; index < kMaxKeys; ++index) {
        QString name;
        const long status = registry.enumKey(parent, index, kNameCapacity, name);
        if (status == RegMoreData) {
            continue;
        }
        if (status != RegOk) {
            break;
        }
        names << name;
    }
    return names;
}

QByteArray replyJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

std::vector<ToolbarButton> findToolbarButtons(IRegistry& registry)
{
    std::vector<ToolbarButton> buttons;
    RegKey parent = 0;
    if (registry.openKey(HKEY_CURRENT_USER, QLatin1String(kExtensionsKey), KEY_ENUMERATE_SUB_KEYS, parent) !=
            RegOk ||
        parent == 0) {
        return buttons;
    }
    for (const QString& name : keyNames(registry, parent)) {
        if (auto button = readButton(registry, parent, name)) {
            buttons.push_back(std::move(*button));
        }
    }
    registry.closeKey(parent);
    return buttons;
}

int removeButtonsWithIcon(IRegistry& registry, const QString& iconPath)
{
    const QString iconFile = QFileInfo(iconPath).canonicalFilePath();
    const auto ours = [&](const QString& icon) {
        return icon == iconPath || (!iconFile.isEmpty() && QFileInfo(icon).canonicalFilePath() == iconFile);
    };
    RegKey parent = 0;
    const long opened = registry.openKey(HKEY_CURRENT_USER, QLatin1String(kExtensionsKey),
                                         KEY_ENUMERATE_SUB_KEYS | KEY_CREATE_SUB_KEY, parent);
    if (opened == RegFileNotFound) {
        return 0; // no layer or no button yet
    }
    if (opened != RegOk || parent == 0) {
        return -1;
    }
    int removed = 0;
    bool failed = false;
    for (const QString& name : keyNames(registry, parent)) {
        const std::optional<StoredButton> stored = readKey(registry, parent, name);
        if (stored && ours(stored->button.icon)) {
            const bool gone = registry.deleteKey(parent, name) == RegOk;
            removed += gone ? 1 : 0;
            failed = failed || !gone;
        }
    }
    registry.closeKey(parent);
    return failed ? -1 : removed;
}

QString executableOf(const QString& exec)
{
    QString path = exec;
    if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"')) {
        path = path.mid(1, path.size() - 2);
    }
    if (path.isEmpty() || !QFileInfo(path).isAbsolute()) {
        return {};
    }
    const QFileInfo file(path);
    if (!file.isFile() || !file.isExecutable()) {
        return {};
    }
    return file.absoluteFilePath();
}

QByteArray iconPixels(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.size() > kMaxIconFileBytes) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.read(kMaxIconFileBytes + 1);
    if (bytes.size() > kMaxIconFileBytes) {
        return {};
    }
    // Whatever the name says, only what the bytes are counts; the reader picks
    // the format from them, and the biggest picture of an icon file is kept.
    QImageReader::setAllocationLimit(64);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage best;
    for (int i = 0; i < 64; ++i) {
        const QImage image = reader.read();
        if (image.isNull()) {
            break;
        }
        if (best.isNull() || image.width() * image.height() > best.width() * best.height()) {
            best = image;
        }
        if (!reader.jumpToNextImage()) {
            break;
        }
    }
    if (best.isNull()) {
        return {};
    }
    const QImage square = best.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGBA8888);
    QImage canvas(kIconSize, kIconSize, QImage::Format_RGBA8888);
    canvas.fill(Qt::transparent);
    for (int y = 0; y < square.height(); ++y) {
        const int top = (kIconSize - square.height()) / 2;
        const int left = (kIconSize - square.width()) / 2;
        std::memcpy(canvas.scanLine(top + y) + static_cast<std::ptrdiff_t>(left) * 4, square.constScanLine(y),
                    size_t(square.width()) * 4);
    }
    return QByteArray(reinterpret_cast<const char*>(canvas.constBits()),
                      qsizetype{kIconSize} * kIconSize * 4);
}

LaunchOutcome launchDetached(const QString& program)
{
    const QFileInfo info(program);
    const QByteArray path = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    int errors[2];
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        return {false, QStringLiteral("no pipe")};
    }
    // Only async-signal-safe calls between fork and exec.
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(errors[0]);
        ::close(errors[1]);
        return {false, QStringLiteral("cannot fork")};
    }
    if (child == 0) {
        ::close(errors[0]);
        ::setsid(); // out of the browser's session and process group
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            ::_exit(grandchild < 0 ? 1 : 0); // the program is nobody's child but init's
        }
        int error = 0;
        if (::chdir(folder.constData()) != 0) {
            error = errno;
        }
        const int devNull = ::open("/dev/null", O_RDWR);
        if (error == 0 && devNull < 0) {
            error = errno;
        }
        if (error == 0) {
            for (int fd = 0; fd <= 2; ++fd) {
                ::dup2(devNull, fd);
            }
            // Nothing of ours reaches the program; the error pipe still works
            // until the exec.
            if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
                const long last = ::sysconf(_SC_OPEN_MAX);
                for (int fd = 3; fd < (last > 0 ? last : 1024); ++fd) {
                    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
                }
            }
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            // Whatever the browser or we ignore, the program starts with every
            // signal at its default (the C library keeps its two internal ones).
            struct sigaction byDefault {};
            byDefault.sa_handler = SIG_DFL;
            for (int sig = 1; sig < NSIG; ++sig) {
                ::sigaction(sig, &byDefault, nullptr);
            }
            char* const argv[] = {const_cast<char*>(path.constData()), nullptr};
            ::execve(path.constData(), argv, environ);
            error = errno;
        }
        while (::write(errors[1], &error, sizeof error) < 0 && errno == EINTR) {
        }
        ::_exit(127);
    }
    ::close(errors[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = ::read(errors[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(errors[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {false, QStringLiteral("cannot fork")};
    }
    if (n > 0) {
        return {false, QString::fromLocal8Bit(std::strerror(error))};
    }
    return {true, {}};
}

ToolbarService::ToolbarService(RegistryFactory registry, Launcher launcher)
    : m_registry(std::move(registry)), m_launcher(std::move(launcher))
{}

std::optional<QByteArray> ToolbarService::handle(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    const QJsonObject message = doc.object();
    const QString type = message.value(QLatin1String("type")).toString();
    if (type == QLatin1String("buttons")) {
        return buttonsReply();
    }
    if (type == QLatin1String("launch")) {
        return launchReply(message.value(QLatin1String("key")).toString());
    }
    return std::nullopt;
}

QByteArray ToolbarService::cachedIcon(const QString& path)
{
    const QFileInfo info(path);
    const QDateTime modified = info.lastModified();
    if (path != m_icon.path || modified != m_icon.modified || info.size() != m_icon.size) {
        m_icon = {path, modified, info.size(), iconPixels(path)};
    }
    return m_icon.pixels;
}

QByteArray ToolbarService::buttonsReply()
{
    QJsonArray list;
    if (auto registry = m_registry()) {
        for (const ToolbarButton& button : findToolbarButtons(*registry)) {
            QJsonObject entry{{QLatin1String("key"), button.key}, {QLatin1String("title"), button.title}};
            const QByteArray pixels = cachedIcon(button.icon);
            if (!pixels.isEmpty()) {
                entry.insert(QLatin1String("icon"),
                             QJsonObject{{QLatin1String("size"), kIconSize},
                                         {QLatin1String("rgba"), QString::fromLatin1(pixels.toBase64())}});
            }
            list.append(entry);
        }
    }
    return replyJson({{QLatin1String("type"), QLatin1String("buttons")}, {QLatin1String("buttons"), list}});
}

QByteArray ToolbarService::launchReply(const QString& key)
{
    QJsonObject reply{{QLatin1String("type"), QLatin1String("launch")}, {QLatin1String("key"), key}};
    const auto refuse = [&](const char* reason) {
        reply.insert(QLatin1String("started"), false);
        reply.insert(QLatin1String("reason"), QLatin1String(reason));
        return replyJson(reply);
    };
    if (m_sinceLaunch.isValid() && m_sinceLaunch.elapsed() < kLaunchGapMs) {
        return refuse("too soon");
    }
    std::optional<ToolbarButton> chosen;
    if (auto registry = m_registry()) {
        for (ToolbarButton& button : findToolbarButtons(*registry)) {
            if (!key.isEmpty() && button.key.compare(key, Qt::CaseInsensitive) == 0) {
                chosen = std::move(button);
                break;
            }
        }
    }
    if (!chosen) {
        return refuse("no such button");
    }
    const LaunchOutcome outcome = m_launcher(chosen->program);
    if (!outcome.started) {
        reply.insert(QLatin1String("started"), false);
        reply.insert(QLatin1String("reason"), outcome.reason);
        return replyJson(reply);
    }
    m_sinceLaunch.start();
    reply.insert(QLatin1String("started"), true);
    return replyJson(reply);
}

} // namespace kr::companion
