// Runs a password change and dies (no clean-up at all) just before the named step.
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "store/PasswordStore.h"

#include <QString>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const auto step = kr::SqlCipherEngine::changeStepFromName(QString::fromLocal8Bit(argv[4]));
    if (!step)
        return 2;
    kr::SqlCipherEngine engine;
    engine.setFaultHook([&](kr::SqlCipherEngine::ChangeStep at) {
        if (at == *step)
            ::_exit(3);
        return false;
    });
    kr::PasswordStore store(engine, path);
    const bool changed = store.ChangeDatabasePassword(path, QString::fromLocal8Bit(argv[2]),
                                                      QString::fromLocal8Bit(argv[3]));
    return changed ? 0 : 1;
}
