#pragma once
// Runs a long job (runtime/jobs.h) to its end for a command. While standard error is a terminal it
// shows "LABEL NN%" on one line, redrawn in place about five times a second and cleared at the end,
// so that the command's own output and messages are never mixed with it. Ctrl+C (SIGINT) asks the
// job to cancel, so that it can still leave a complete result, instead of ending the process
// half-way; a second Ctrl+C ends the process as usual.
//
// Callers: commands, on the main thread, one job at a time.

#include <string_view>

#include "runtime/jobs.h"

namespace sitedex::cli {

// Returns false when the job was cancelled by Ctrl+C.
bool runToEnd(runtime::Job& job, std::string_view label);

}  // namespace sitedex::cli
