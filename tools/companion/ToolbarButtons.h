#pragma once
// The browser's part of the toolbar button: the run-a-program buttons that the
// registry layer holds under HKEY_CURRENT_USER's "Extensions" key, their
// icons, and starting the program a button names.
//
// The extension asks over the native messaging pipe:
//   {"type":"buttons"}             -> {"type":"buttons","buttons":[{"key":..,"title":..,
//                                      "icon":{"size":32,"rgba":<base64>}}, ...]}
//   {"type":"launch","key":"{..}"} -> {"type":"launch","key":..,"started":true|false,
//                                      "reason":..}
// "icon" is left out when the button's icon cannot be shown. The launch runs
// the "Exec" of the named key as the registry holds it at that moment; nothing
// else of the message reaches the program.
#include "platform/Registry.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kr::companion {

inline constexpr char kExtensionsKey[] = R"(Software\Microsoft\Internet Explorer\Extensions)";
// The browser's class of a button that runs a program.
inline constexpr char kRunProgramClsid[] = "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}";
// Icon files bigger than this are not read.
inline constexpr qint64 kMaxIconFileBytes = qint64{1024} * 1024;
// The side of the square picture handed to the extension.
inline constexpr int kIconSize = 32;
// However fast the clicks come, the program starts at most this often.
inline constexpr int kLaunchGapMs = 1000;

struct ToolbarButton {
    QString key;     // the subkey's name (a GUID)
    QString title;   // "ButtonText"
    QString program; // "Exec": an existing executable file
    QString icon;    // "Icon" as stored
};

// The run-a-program buttons, in the layer's order of the keys. A key counts
// when its "CLSID" is kRunProgramClsid (letter case aside) and its "Exec"
// names an executable file. A layer that cannot be read has none.
std::vector<ToolbarButton> findToolbarButtons(IRegistry& registry);

// Deletes the keys under kExtensionsKey whose "Icon" is the file iconPath (the
// same text, or the same file by another path), whatever else they hold.
// Returns how many went, or -1 when one could not be deleted.
int removeButtonsWithIcon(IRegistry& registry, const QString& iconPath);

// The executable that an "Exec" text names, or an empty text: an absolute
// path to a file (not a folder) that this user may execute. A text wrapped
// in double quotes names the path inside them.
QString executableOf(const QString& exec);

// The icon file's picture, kIconSize square, as RGBA bytes (not premultiplied,
// the layout of a browser's ImageData); empty when the file is missing, too
// big or not a picture.
QByteArray iconPixels(const QString& path);

struct LaunchOutcome {
    bool started = false;
    QString reason; // why not, in a few words; empty when started
};

// Starts program with no arguments in its own folder, detached: its own
// session, stdin/stdout/stderr on /dev/null, no other descriptor of ours, the
// default signal handling. The host does not wait for it.
LaunchOutcome launchDetached(const QString& program);

class ToolbarService {
public:
    using RegistryFactory = std::function<std::unique_ptr<IRegistry>()>;
    using Launcher = std::function<LaunchOutcome(const QString&)>;

    // The layer is opened afresh for every message, so that changes made by
    // Keyrovia show without restarting anything.
    explicit ToolbarService(RegistryFactory registry, Launcher launcher = launchDetached);

    // The reply frame's JSON for a toolbar message; std::nullopt when the
    // message is none of ours (the page messages).
    std::optional<QByteArray> handle(const QByteArray& json);

private:
    QByteArray buttonsReply();
    QByteArray launchReply(const QString& key);
    QByteArray cachedIcon(const QString& path);

    RegistryFactory m_registry;
    Launcher m_launcher;
    QElapsedTimer m_sinceLaunch; // invalid before the first start

    struct IconCache {
        QString path;
        QDateTime modified;
        qint64 size = -1;
        QByteArray pixels;
    } m_icon;
};

} // namespace kr::companion
