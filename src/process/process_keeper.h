// The keeper behind a command started with keep_descendants: a child of
// this program, forked for the command, that is the "child subreaper" of
// everything the command starts. Whatever the command leaves running
// (`server &`, `setsid daemon`, a double fork) is adopted by the keeper
// when its parent ends, instead of by init, so the keeper can always find
// and end it: it signals only its own children, whose ids cannot pass to
// another process while it has not reaped them. The keeper lives until
// nothing of the command is left, or until it is told to end it all
// (SIGTERM from this program, or this program's death).
#pragma once

#include <sys/types.h>

#include "common/files.h"
#include "common/result.h"
#include "process/process_spec.h"

namespace wendlebox {

struct KeptCommand {
  pid_t keeper = 0;
  pid_t command = 0;
  UniqueFd reports{};  // where the keeper says when the command ended
};

// Starts `command` under a keeper of its own; `output` and `errors` are
// the pipe ends for the command's standard output and error (-1 unless
// captured). Fails when the command cannot be started.
Result<KeptCommand> start_kept(const ProcessSpec& command, int output, int errors);

// How the command ended, once the keeper has said so; waits for it when
// `block` is set. A keeper that ends without saying counts as the command
// killed.
Result<std::optional<ExitStatus>> kept_command_status(int reports, bool block);

// Asks the keeper to end everything it keeps, the command included.
void stop_kept(pid_t keeper);

}  // namespace wendlebox
