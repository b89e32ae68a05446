import { spawn } from "node:child_process";
import { EventEmitter } from "node:events";
import { createInterface } from "node:readline";

import { BackendError } from "./backend_error.js";
import { COMMANDS, methodName } from "./commands.js";
import { Dispatcher } from "./dispatcher.js";
import { commandProblem, eventProblem } from "./protocol.js";

// One backend process and its protocol. `start()` starts it once; when it ends, whatever is
// pending is rejected and nothing starts it again (make a new client for that). Each event is
// emitted under its name ("ready", "log", "state", ...) and also as "event"; "exit" tells the
// end, "protocol_error" a line that is no valid event. A backend "error" event rejects the
// command it answers and is emitted only when someone listens, so that EventEmitter does not
// throw it.
export class BackendClient extends EventEmitter {
  #binary;
  #env;
  #cwd;
  #validate;
  #child = null;
  #dispatcher = null;
  #state = null;
  #ended = false;
  #closing = false;
  #rejectReady = null;
  #exit = null;
  #resolveExit = null;

  // `binary`: the backend's program file. `env`, `cwd`: for the process (HOME or USERPROFILE
  // pick the settings and the error log). `validate`: check commands before they are sent and
  // events as they arrive against the protocol's schemas (on by default).
  constructor({ binary, env, cwd, validate = true } = {}) {
    super();
    if (!binary) throw new TypeError("BackendClient needs the backend's program file as `binary`");
    this.#binary = binary;
    this.#env = env;
    this.#cwd = cwd;
    this.#validate = validate;
  }

  get pid() {
    return this.#child?.pid;
  }

  // The latest state event, or null before the first.
  get state() {
    return this.#state;
  }

  // Starts the backend; resolves with its ready event.
  start() {
    if (this.#child)
      return Promise.reject(
        new BackendError("not_running", "start() was called before: a client starts one backend"),
      );
    const child = spawn(this.#binary, [], {
      env: this.#env,
      cwd: this.#cwd,
      stdio: ["pipe", "pipe", "inherit"],
      windowsHide: true,
    });
    this.#child = child;
    this.#dispatcher = new Dispatcher((line) => child.stdin.write(`${line}\n`));
    const ready = new Promise((resolve, reject) => {
      this.once("ready", resolve);
      this.#rejectReady = reject;
    });
    this.#exit = new Promise((resolve) => {
      this.#resolveExit = resolve;
    });
    child.once("close", (code, signal) => this.#end(code, signal));
    child.once("error", (error) => {
      // The program could not be started: no close follows.
      if (child.pid === undefined) this.#end(null, null, error);
    });
    child.stdin.on("error", () => {}); // a gone backend: its close reports it
    createInterface({ input: child.stdout, crlfDelay: Infinity }).on("line", (line) =>
      this.#receive(line),
    );
    return ready;
  }

  // Ends the backend's input, which ends it at once (a running job with it); resolves with
  // { code, signal } when it has exited. Calls not yet written are rejected.
  close() {
    if (!this.#child) return Promise.resolve({ code: null, signal: null });
    this.#closing = true;
    this.#dispatcher.dropUnwritten((call) =>
      this.#error("closed", call.name, "the client was closed"),
    );
    this.#child.stdin.end();
    return this.#exit;
  }

  // Sends the backend a signal (SIGTERM: it ends its FFmpeg children, then itself).
  kill(signal = "SIGTERM") {
    if (!this.#child) return Promise.resolve({ code: null, signal: null });
    this.#closing = true;
    this.#child.kill(signal);
    return this.#exit;
  }

  // Sends one command; see COMMANDS for what its promise waits for.
  send(name, payload) {
    const entry = COMMANDS[name];
    if (!entry) return Promise.reject(new BackendError("invalid", `${name}: no such command`));
    if (!this.#child || this.#ended || this.#closing) {
      return Promise.reject(this.#error("not_running", name, "the backend is not running"));
    }
    const command = payload === undefined ? { cmd: name } : { cmd: name, payload };
    const problem = this.#validate ? commandProblem(command) : null;
    if (problem) return Promise.reject(new BackendError("invalid", `${name}: ${problem}`));
    return new Promise((resolve, reject) => {
      this.#dispatcher.submit({ name, line: JSON.stringify(command), ...entry, resolve, reject });
    });
  }

  #receive(line) {
    let event;
    try {
      event = JSON.parse(line);
    } catch {
      this.emit("protocol_error", new BackendError("protocol", `not a JSON line: ${line}`));
      return;
    }
    const problem = this.#validate ? eventProblem(event) : null;
    if (problem)
      this.emit("protocol_error", new BackendError("protocol", `${problem}: ${line}`, event));
    if (event?.event === "state") this.#state = event;
    this.#dispatcher.handle(event ?? {});
    if (
      typeof event?.event === "string" &&
      (event.event !== "error" || this.listenerCount("error") > 0)
    ) {
      this.emit(event.event, event);
    }
    this.emit("event", event);
  }

  #end(code, signal, startError) {
    if (this.#ended) return;
    this.#ended = true;
    const kind = this.#closing ? "closed" : "exited";
    const how = startError
      ? `could not be started (${startError.message})`
      : signal
        ? `was ended by ${signal}`
        : `exited with status ${code}`;
    const reason = `the backend ${how}${this.#closing || startError ? "" : " unexpectedly"}`;
    this.#dispatcher.failAll((call) => this.#error(kind, call.name, reason));
    this.#rejectReady(this.#error(kind, "start", reason));
    this.#resolveExit({ code, signal });
    this.emit("exit", { code, signal });
  }

  #error(code, name, reason) {
    return new BackendError(code, `${name}: ${reason}`);
  }
}

// One method per command: addCutFiles(payload) sends add_cut_files.
for (const name of Object.keys(COMMANDS)) {
  BackendClient.prototype[methodName(name)] = function (payload) {
    return this.send(name, payload);
  };
}
