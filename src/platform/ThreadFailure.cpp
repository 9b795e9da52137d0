#include "platform/ThreadFailure.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace kr {
namespace {

QtMessageHandler previousHandler = nullptr;

void endOnThreadFailure(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (previousHandler)
        previousHandler(type, context, message);
    // Qt goes on without the thread (its window system's event reader, its
    // host lookups): nothing would ever show or answer.
    if (!message.startsWith(QLatin1String("QThread::start: Thread creation error")))
        return;
    rlimit limit{};
    const bool limited = ::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
    std::fprintf(stderr, "Keyrovia ne peut pas fonctionner : le système refuse de créer un fil d'exécution");
    if (limited)
        std::fprintf(stderr,
                     " (mémoire adressable limitée à %llu Ko par « ulimit -v » : il en faut davantage)",
                     static_cast<unsigned long long>(limit.rlim_cur / 1024));
    std::fprintf(stderr, ".\nLe programme va se fermer.\n");
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

} // namespace

void EndOnThreadFailure()
{
    previousHandler = qInstallMessageHandler(endOnThreadFailure);
}

} // namespace kr
