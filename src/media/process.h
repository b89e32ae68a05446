#pragma once

#include <string>
#include <vector>

#include "media/output_lines.h"

// Runs a child program by argument vector (never through a shell), waits for it and hands back
// its exit code and both output streams, captured whole. The program is looked up on the search
// path. The child inherits standard input and runs in its own process group (a job object on
// Windows), so kill_running_children and end_all_children can end it with the backend.

enum class OutputDecoding {
  raw,              // bytes as they came
  strict_utf8,      // invalid UTF-8 fails the run
  replace_invalid,  // invalid UTF-8 replaced by U+FFFD
};

struct ProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Throws std::runtime_error when the program cannot be found or started, when the output is
// not valid UTF-8 under strict decoding, and when the timeout expires (the child is killed and
// reaped first). `out_lines`, when set, also receives the lines of standard output while the
// child runs, on the calling thread (output_lines.h); what it throws ends the child and the run.
ProcessResult run_process(const std::vector<std::string>& args, int timeout_seconds,
                          OutputDecoding decoding, const OutputLineFn& out_lines = {});

// What a run throws when cancel_children ended its child or kept it from starting. It is
// deliberately no std::exception: the handlers that turn a failure into an error report or a
// fallback let it pass, so a cancelled job stops where it is.
struct RunCancelled {};

// For the cancel of a job: ends every running child at once and lets no new one start until
// allow_children; their runs throw RunCancelled. The command thread runs no child meanwhile.
void cancel_children();
void allow_children();

// Throws RunCancelled between cancel_children and allow_children: for the steps of a job that
// run no child.
void throw_if_cancelled();

// Kills every child process that is still running; their runs end as killed.
void kill_running_children();

// For the end of the backend: kills every running child and lets no new one start. A thread
// that comes to run_process afterwards, or whose child was killed, stays there until the process
// is gone instead of reporting a failure.
void end_all_children();

// Call once at the start of the process, before any other thread starts. Afterwards a
// termination signal (POSIX: SIGTERM, SIGINT, SIGHUP) ends the running children and removes the
// pending files (settings/pending_files.h) before the backend ends by that signal, and writing
// to a closed pipe fails as an error instead of ending the process. On Linux every child is also
// killed when the backend dies in any other way (SIGKILL, a crash).
void end_children_with_backend();
