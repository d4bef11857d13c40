#ifndef EXITSTATUS_H
#define EXITSTATUS_H

// The command line's exit statuses, as --help and the README list them.
namespace ExitStatus {
constexpr int Done = 0;         // done, or the test passed
constexpr int Fail = 1;         // the test failed (or a set value did not take)
constexpr int LinkFailure = 2;  // port not opened, module silent, or port gone
constexpr int Usage = 64;       // bad arguments (EX_USAGE)
}

#endif // EXITSTATUS_H
