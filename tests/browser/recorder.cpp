// A stand-in for the program a toolbar button starts: it writes down how it
// was started into "record" beside itself (one block per start), waits
// RECORDER_WAIT_MS, and writes "alive" if it is still running then.
#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char**)
{
    /* Descriptors beyond 2, counted before anything of ours is opened. */
    int extra = 0;
    DIR* fds = opendir("/proc/self/fd");
    for (struct dirent* e; fds && (e = readdir(fds));)
        extra += e->d_name[0] != '.' && atoi(e->d_name) > 2 && atoi(e->d_name) != dirfd(fds);
    if (fds)
        closedir(fds);

    char exe[PATH_MAX] = {}, record[PATH_MAX + 16], cwd[PATH_MAX];
    if (readlink("/proc/self/exe", exe, sizeof exe - 1) <= 0 || !getcwd(cwd, sizeof cwd))
        return 1;
    *strrchr(exe, '/') = '\0';
    snprintf(record, sizeof record, "%s/record", exe);
    FILE* file = fopen(record, "a");
    if (!file)
        return 1;
    fprintf(file, "args=%d\ncwd=%s\n", argc - 1, cwd);
    for (int fd = 0; fd <= 2; ++fd) {
        char link[32], target[PATH_MAX] = {};
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        fprintf(file, "fd%d=%.*s\n", fd, (int)readlink(link, target, sizeof target - 1), target);
    }
    unsigned long long blocked = ~0ULL, ignored = ~0ULL;
    FILE* status = fopen("/proc/self/status", "r");
    for (char line[256]; status && fgets(line, sizeof line, status);) {
        sscanf(line, "SigBlk: %llx", &blocked);
        sscanf(line, "SigIgn: %llx", &ignored);
    }
    if (status)
        fclose(status);
    /* Signals 32 and 33 belong to the C library, which lets nobody change them. */
    fprintf(file, "extra_fds=%d\nblocked=%llx\nignored=%llx\nsid=%d\nppid=%d\n", extra, blocked,
            ignored & ~0x180000000ULL, (int)getsid(0), (int)getppid());
    fflush(file);
    const char* wait = getenv("RECORDER_WAIT_MS");
    usleep((useconds_t)(wait ? atoi(wait) : 0) * 1000);
    fprintf(file, "alive\n");
    fclose(file);
    return 0;
}
