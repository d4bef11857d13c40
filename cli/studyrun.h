#ifndef STUDYRUN_H
#define STUDYRUN_H

// study: a type-1 study of one module. Reads the versions, takes --count
// frames (default 50) at one reference like measure (records stream as
// they come), and judges the module as a measuring device by Cg and Cgk
// against --min-cg (typeonestudy.h). Exit 0 CAPABLE, 1 NOT CAPABLE (also
// when cut short: fewer frames than asked for), 2 when the module did not
// answer or the port failed.

#include "options.h"

class ModuleLine;
class Output;

int study(ModuleLine &line, const CliOptions &options, Output &out, Output &records);

#endif // STUDYRUN_H
