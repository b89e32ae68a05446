import { BackendError } from "./backend_error.js";

// A job's end begins with a progress of one of these statuses; the job's own state follows it.
const JOB_END_STATUSES = new Set(["Fertig ✓", "Fehler ✗", "Abgebrochen ✗"]);
const REFUSED_TITLE = "Hinweis";
const CUT_DONE_TITLE = "Cut Fertig";
const EXPORT_FAILED_TITLE = "Fehler";
const CANCELLED_TITLE = "Abgebrochen";

// Settles the calls of one backend from its events. The protocol has no request ids, so calls
// are written one at a time: the backend runs its commands strictly in turn, and the event that
// ends the answer of one (see COMMANDS) comes before any event of the next.
//
// A running job writes events at the same time from its own thread, and of those only a state
// could pass for a command's answer. A job writes exactly one state, after the progress that
// opens its end, so while such a state is owed the next state is counted as the job's: a command
// waiting for its state then takes the one after, which is never too early. (If the command's
// came first, both snapshots show the same lists: nothing changes them in between.)
//
// A job's promise settles on its closing notify: "Cut Fertig" ends the oldest cut, an export
// title or "Fehler" the oldest export, "Abgebrochen" the oldest job of either kind, whose promise
// rejects as cancelled. An export writes its notify before its closing state, so its promise
// waits for that state too: when it settles, the client's latest state is no longer busy. Jobs
// are registered when their start is written, so a job that ends before its start's answer
// arrives is still found. A cancel's answer, the state after the job's closing events, comes
// only once the job has settled.
export class Dispatcher {
  #write;
  #queue = [];
  #current = null;
  #jobs = [];
  #owedJobStates = 0;
  #waitingForState = [];

  // `write` hands one command line to the backend.
  constructor(write) {
    this.#write = write;
  }

  // `call`: { name, line, answer, job, returns, resolve, reject }.
  submit(call) {
    this.#queue.push(call);
    this.#writeNext();
  }

  handle(event) {
    switch (event.event) {
      case "error":
        if (this.#current)
          this.#rejected(
            new BackendError("command", `${this.#current.name}: ${event.message}`, event),
          );
        break;
      case "support_log":
        if (this.#current?.answer === "support_log") this.#answered(event);
        break;
      case "notify":
        if (event.title !== REFUSED_TITLE) this.#jobEnded(event);
        else if (this.#current?.job || this.#current?.refusable)
          this.#rejected(new BackendError("refused", event.message, event));
        break;
      case "progress":
        if (JOB_END_STATUSES.has(event.status)) this.#owedJobStates += 1;
        break;
      case "state":
        if (this.#owedJobStates > 0) {
          this.#owedJobStates -= 1;
          this.#waitingForState.shift()?.();
        } else if (this.#current?.answer === "state") this.#answered(event);
        break;
    }
  }

  // Rejects every pending call with `errorFor(call)`; nothing is written any more.
  failAll(errorFor) {
    const ending = this.#waitingForState.map((settle) => settle.call);
    const calls = new Set([
      ...ending,
      ...this.#jobs.map((job) => job.call),
      this.#current,
      ...this.#queue,
    ]);
    this.#waitingForState = [];
    this.#jobs = [];
    this.#current = null;
    this.#queue = [];
    this.#write = null;
    for (const call of calls) if (call) call.reject(errorFor(call));
  }

  // Rejects the calls that are not written yet.
  dropUnwritten(errorFor) {
    const calls = this.#queue;
    this.#queue = [];
    for (const call of calls) call.reject(errorFor(call));
  }

  // The current call is answered: a job start now waits for its job's end, any other call is
  // settled. Then the next call is written.
  #answered(event) {
    const call = this.#current;
    this.#current = null;
    if (!call.job) call.resolve(call.returns ? event : undefined);
    this.#writeNext();
  }

  // The current call failed or was refused: it settles, and a job start leaves no job.
  #rejected(error) {
    const call = this.#current;
    this.#current = null;
    this.#jobs = this.#jobs.filter((job) => job.call !== call);
    call.reject(error);
    this.#writeNext();
  }

  #jobEnded(event) {
    const kind = event.title === CUT_DONE_TITLE ? "cut" : "export";
    const cancelled = event.title === CANCELLED_TITLE;
    const index = this.#jobs.findIndex((job) => cancelled || job.kind === kind);
    if (index < 0) return;
    const [{ call, kind: ended }] = this.#jobs.splice(index, 1);
    const settle = () => {
      if (cancelled) call.reject(new BackendError("cancelled", event.message, event));
      else if (event.title === EXPORT_FAILED_TITLE)
        call.reject(new BackendError("failed", event.message, event));
      else call.resolve(event);
    };
    if (ended === "export" && this.#owedJobStates > 0)
      this.#waitingForState.push(Object.assign(settle, { call }));
    else settle();
  }

  #writeNext() {
    if (this.#current || this.#queue.length === 0 || !this.#write) return;
    this.#current = this.#queue.shift();
    if (this.#current.job) this.#jobs.push({ kind: this.#current.job, call: this.#current });
    this.#write(this.#current.line);
  }
}
