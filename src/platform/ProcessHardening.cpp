#include "platform/ProcessHardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace kr {

HardeningResult HardenProcess()
{
    HardeningResult result;
    ::umask(077);
    const rlimit none{0, 0};
    result.noCoreFiles = ::setrlimit(RLIMIT_CORE, &none) == 0;
    result.notDumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return result;
}

} // namespace kr
