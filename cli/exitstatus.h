#ifndef EXITSTATUS_H
#define EXITSTATUS_H

// The command line's exit statuses, as --help, the README and the man page list them.
namespace ExitStatus {
constexpr int Done = 0;         // done, or the test passed
constexpr int Fail = 1;         // the test failed (or a set value did not take)
constexpr int LinkFailure = 2;  // port not opened, module silent, or port gone
constexpr int Usage = 64;       // bad arguments (EX_USAGE)
constexpr int CannotCreate = 73;  // the --output file cannot be opened for writing (EX_CANTCREAT)
constexpr int WriteFailed = 74;   // a write failed: records, summary or lines lost (EX_IOERR)
// A measurement run cut short by signal `n` (or, for SIGPIPE, a closed pipe), as shells report it.
constexpr int interrupted(int n) { return 128 + n; }
}

#endif // EXITSTATUS_H
