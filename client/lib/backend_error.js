// The one error type of the client. `code` tells what happened:
// - "refused": the backend refused to start the job (a notify "Hinweis"; its message says why);
// - "failed": the export ran and failed (a notify "Fehler");
// - "cancelled": the job was cancelled (a notify "Abgebrochen"; its message tells what was kept);
// - "command": the backend answered the command with an error event;
// - "invalid": the command does not match the protocol's schema and was not sent;
// - "exited": the backend ended unexpectedly while the call was pending;
// - "closed": the backend was closed or killed through the client while the call was pending;
// - "not_running": the backend is not running (not started yet, or ended);
// - "protocol": the backend wrote a line that is no valid event (reported, never thrown).
export class BackendError extends Error {
  constructor(code, message, event) {
    super(message);
    this.name = "BackendError";
    this.code = code;
    if (event !== undefined) this.event = event;
  }
}
