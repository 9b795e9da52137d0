// A stand-in for the program a toolbar button starts: it writes down how it
// was started into "record" beside itself (one block per start), waits a
// little, and writes "alive" if it is still running then.
#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void fdTarget(int fd, char* out, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, out, size - 1);
    out[n < 0 ? 0 : n] = '\0';
}

static void statusLine(const char* field, char* out, size_t size)
{
    out[0] = '\0';
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    while (status && fgets(line, sizeof line, status)) {
        if (strncmp(line, field, strlen(field)) == 0) {
            snprintf(out, size, "%s", line + strlen(field));
            out[strcspn(out, "\n")] = '\0';
        }
    }
    if (status)
        fclose(status);
}

int main(int argc, char**)
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n < 0)
        return 1;
    exe[n] = '\0';
    *strrchr(exe, '/') = '\0';
    char recordPath[PATH_MAX + 16];
    snprintf(recordPath, sizeof recordPath, "%s/record", exe);

    /* Descriptors beyond 2, counted before anything of ours is opened. */
    int extra = 0;
    DIR* fds = opendir("/proc/self/fd");
    for (struct dirent* e; fds && (e = readdir(fds));) {
        if (e->d_name[0] != '.' && atoi(e->d_name) > 2 && atoi(e->d_name) != dirfd(fds))
            ++extra;
    }
    if (fds)
        closedir(fds);

    char in[PATH_MAX], out[PATH_MAX], err[PATH_MAX], cwd[PATH_MAX], blocked[64], ignored[64];
    fdTarget(0, in, sizeof in);
    fdTarget(1, out, sizeof out);
    fdTarget(2, err, sizeof err);
    if (!getcwd(cwd, sizeof cwd))
        cwd[0] = '\0';
    statusLine("SigBlk:\t", blocked, sizeof blocked);
    statusLine("SigIgn:\t", ignored, sizeof ignored);

    FILE* record = fopen(recordPath, "a");
    if (!record)
        return 1;
    fprintf(record, "args=%d\ncwd=%s\nstdin=%s\nstdout=%s\nstderr=%s\nextra_fds=%d\n", argc - 1, cwd, in, out,
            err, extra);
    fprintf(record, "pid=%d\nsid=%d\nppid=%d\nblocked=%s\nignored=%s\n", (int)getpid(), (int)getsid(0),
            (int)getppid(), blocked, ignored);
    fflush(record);
    const char* wait = getenv("RECORDER_WAIT_MS");
    usleep((useconds_t)(wait ? atoi(wait) : 0) * 1000);
    fprintf(record, "alive\n");
    fclose(record);
    return 0;
}
