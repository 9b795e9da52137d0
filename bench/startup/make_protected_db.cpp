// Gives an empty database a password, for the start-up measurement.
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "store/PasswordStore.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    kr::SqlCipherEngine engine;
    kr::PasswordStore store(engine, QString::fromLocal8Bit(argv[1]));
    return store.ChangeDatabasePassword(store.databasePath(), QString(), QStringLiteral("measure")) ? 0 : 1;
}
