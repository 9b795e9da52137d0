#pragma once
// Keeps the secrets a process holds (the master password, every stored
// password) out of core files and away from other processes of the same user.

namespace kr {

struct HardeningResult {
    bool noCoreFiles = false; // RLIMIT_CORE is 0
    bool notDumpable = false; // PR_SET_DUMPABLE is 0: no core, no ptrace, no /proc/<pid>/mem
};

// Call first thing in main(). Also makes every file the process creates private
// to its user (umask 077).
HardeningResult HardenProcess();

} // namespace kr
