#pragma once
// A process that cannot start a thread (a low address-space limit, ulimit -v)
// would show no window, or hang where a thread should answer: it ends at once,
// saying why on stderr.

namespace kr {

// Call in main() before the application object is made.
void EndOnThreadFailure();

} // namespace kr
