#pragma once

// How the backend process ends. Every way out first ends the running children and lets no new
// one start, then removes what the running step was writing (settings/pending_files.h), so no
// child outlives the backend and no half-made file stays behind; complete results stay as they
// are. A termination signal (SIGTERM, SIGINT, SIGHUP) does the same and ends the process by that
// signal (see media/process.h).

// Exit statuses.
constexpr int EXIT_INPUT_ENDED = 0;    // standard input ended
constexpr int EXIT_OUTPUT_FAILED = 3;  // an event line could not be written: nobody reads them

// Ends the process at once with `status`; may be called from any thread.
[[noreturn]] void exit_backend(int status);
