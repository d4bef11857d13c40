#ifndef EXITSTATUS_H
#define EXITSTATUS_H

// The command line's exit statuses, declared once: the code uses the names,
// --help prints the table, and the manual and the README are checked against it.

namespace ExitStatus {
constexpr int Done = 0;         // done, or the test passed
constexpr int Fail = 1;         // the test failed (or a set value did not take)
constexpr int LinkFailure = 2;  // port not opened, module silent, or port gone
constexpr int Usage = 64;       // bad arguments (EX_USAGE)
constexpr int CannotCreate = 73;  // an output cannot be created (EX_CANTCREAT)
constexpr int WriteFailed = 74;   // a write failed: records, summary or lines lost (EX_IOERR)
// A measurement run cut short by signal `n` (or, for SIGPIPE, a closed pipe), as shells report it.
constexpr int interrupted(int n) { return 128 + n; }

struct Meaning {
    const char *status;
    const char *text;  // for --help, lines joined by '\n'
};

inline constexpr Meaning table[] = {
    {"0", "done, or the test passed"},
    {"1", "the test failed (also when cut short), the study found the module\n"
          "NOT CAPABLE, or the module holds another threshold than the one set"},
    {"2", "the port could not be opened or is in use, the module did not answer,\n"
          "or the port went away; test --points: a move failed; sync: the\n"
          "database could not take every run; report: it could not be read"},
    {"64", "usage error, or a malformed capture (--replay) or limits file"},
    {"73", "an output (--output FILE) cannot be created; nothing was asked"},
    {"74", "a write failed (records, summary, report or lines lost: a full disk,\n"
           "say); one line names the file and the reason; a run neither its\n"
           "database nor the spool could take (not saved); sync: the spool could\n"
           "not be read or updated"},
    {"128+N", "measure cut short by signal N: 130 Ctrl+C, 129 hang-up, 143 SIGTERM,\n"
              "141 SIGPIPE or a closed pipe"},
};
}

#endif // EXITSTATUS_H
