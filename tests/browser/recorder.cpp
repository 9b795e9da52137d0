// A stand-in for the program a toolbar button starts: it writes down how it
// was started into "record" beside itself (one block per start), waits
// RECORDER_WAIT_MS, and writes "alive" if it is still running then.
#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// What /proc/self/<entry> links to, or the rest of the line of /proc/self/status starting with entry.
static char* proc(const char* entry, char* out, size_t size)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/self/%s", entry);
    ssize_t n = readlink(path, out, size - 1);
    out[n < 0 ? 0 : n] = '\0';
    FILE* status = n < 0 ? fopen("/proc/self/status", "r") : NULL;
    for (char line[256]; status && fgets(line, sizeof line, status);)
        if (strncmp(line, entry, strlen(entry)) == 0)
            snprintf(out, size, "%.*s", (int)strcspn(line + strlen(entry), "\n"), line + strlen(entry));
    if (status)
        fclose(status);
    return out;
}

int main(int argc, char**)
{
    /* Descriptors beyond 2, counted before anything of ours is opened. */
    int extra = 0;
    DIR* fds = opendir("/proc/self/fd");
    for (struct dirent* e; fds && (e = readdir(fds));)
        extra += e->d_name[0] != '.' && atoi(e->d_name) > 2 && atoi(e->d_name) != dirfd(fds);
    if (fds)
        closedir(fds);

    char exe[PATH_MAX], record[PATH_MAX + 16], in[PATH_MAX], out[PATH_MAX], err[PATH_MAX], cwd[PATH_MAX];
    char blocked[64], ignored[64];
    *strrchr(proc("exe", exe, sizeof exe), '/') = '\0';
    snprintf(record, sizeof record, "%s/record", exe);
    FILE* file = fopen(record, "a");
    if (!file || !getcwd(cwd, sizeof cwd))
        return 1;
    fprintf(file, "args=%d\ncwd=%s\nstdin=%s\nstdout=%s\nstderr=%s\nextra_fds=%d\n", argc - 1, cwd,
            proc("fd/0", in, sizeof in), proc("fd/1", out, sizeof out), proc("fd/2", err, sizeof err), extra);
    fprintf(file, "sid=%d\nppid=%d\nblocked=%s\nignored=%s\n", (int)getsid(0), (int)getppid(),
            proc("SigBlk:\t", blocked, sizeof blocked), proc("SigIgn:\t", ignored, sizeof ignored));
    fflush(file);
    const char* wait = getenv("RECORDER_WAIT_MS");
    usleep((useconds_t)(wait ? atoi(wait) : 0) * 1000);
    fprintf(file, "alive\n");
    fclose(file);
    return 0;
}
