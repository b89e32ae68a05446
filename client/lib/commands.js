// How the client waits for each command of the protocol. Every command ends on the backend's
// command thread with one event: `answer` names it (an error event may end any command
// instead). A job start is answered by the state of an accepted job or by a notify "Hinweis";
// its promise then waits for the job's end. A cancel is answered by the state once the job has
// stopped, or, `refusable`, by a notify "Hinweis" when no job runs.
export const COMMANDS = {
  bootstrap: { answer: "state" },
  set_config: { answer: "state" },
  add_cut_files: { answer: "state" },
  add_master_files: { answer: "state" },
  clear_cut_queue: { answer: "state" },
  clear_master_queue: { answer: "state" },
  remove_master_index: { answer: "state" },
  move_master: { answer: "state" },
  start_cut: { answer: "state", job: "cut" },
  start_export: { answer: "state", job: "export" },
  copy_support_log: { answer: "support_log", returns: true },
  get_state: { answer: "state", returns: true },
  cancel: { answer: "state", returns: true, refusable: true },
};

// The client's method name for a command: add_cut_files becomes addCutFiles.
export function methodName(command) {
  return command.replace(/_([a-z])/g, (_, letter) => letter.toUpperCase());
}
