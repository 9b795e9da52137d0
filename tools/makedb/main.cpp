// keyrovia-makedb <path>: puts an empty database (table tblSite, no password,
// mode 0600) at path when nothing is there. An existing file is never touched.
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "store/EmptyVault.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: keyrovia-makedb <path of the database file>\n");
        return 2;
    }
    kr::SqlCipherEngine engine;
    QString error;
    switch (kr::MakeEmptyVault(engine, QString::fromLocal8Bit(argv[1]), &error)) {
    case kr::EmptyVaultResult::Created:
        std::printf("%s created (empty, no password)\n", argv[1]);
        return 0;
    case kr::EmptyVaultResult::Exists:
        std::printf("%s exists, left as it is\n", argv[1]);
        return 0;
    case kr::EmptyVaultResult::Failed:
        break;
    }
    std::fprintf(stderr, "keyrovia-makedb: %s\n", error.toLocal8Bit().constData());
    return 1;
}
