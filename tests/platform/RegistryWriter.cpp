// Writes <count> toolbar-like keys into the registry files of <folder>, as a
// second program would while the test writes its own. Exit code 0 when every
// call succeeded.
#include "platform/registry/SqliteRegistry.h"

#include <QCoreApplication>
#include <QStringList>

using namespace kr;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    SqliteRegistry registry(args[1]);
    const int count = args[3].toInt();
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        RegKey k = 0;
        const QString path =
            QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions\\%1-%2").arg(args[2]).arg(i);
        if (registry.createKey(HKEY_CURRENT_USER, path, QStringLiteral("REG DWORD"), 0, 0x3F, k) != RegOk) {
            ++failed;
            continue;
        }
        failed += registry.setValue(k, QStringLiteral("Icon"), REG_SZ,
                                    args[2].toLocal8Bit() + QByteArray(".ico") + '\0') != RegOk;
        registry.closeKey(k);
    }
    return failed == 0 ? 0 : 1;
}
