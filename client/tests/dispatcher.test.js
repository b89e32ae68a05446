// The interleavings of a job's events with the answers of commands, as the backend's two
// threads can write them; most are too rare to be brought about with the real backend.
import assert from "node:assert/strict";
import { test } from "node:test";

import { COMMANDS } from "../lib/commands.js";
import { Dispatcher } from "../lib/dispatcher.js";

const state = (busy, mas_files = []) => ({ event: "state", busy, mas_files });
const progress = (status) => ({ event: "progress", panel: "cut", pct: 100, status });
const notify = (title, message = "") => ({ event: "notify", title, message });

// A dispatcher that notes what it writes and how each call settles.
function dispatcher() {
  const written = [];
  const settled = {};
  const dispatch = new Dispatcher((line) => written.push(line));
  const call = (name) =>
    dispatch.submit({
      name,
      line: name,
      ...COMMANDS[name],
      resolve: (value) => (settled[name] = { value }),
      reject: (error) => (settled[name] = { error: error.code, message: error.message }),
    });
  return { dispatch, call, written, settled };
}

test("a job's closing state is not taken for the answer of the command written meanwhile", () => {
  const { dispatch, call, written, settled } = dispatcher();
  call("start_cut");
  dispatch.handle(state(true));
  call("get_state");
  call("clear_cut_queue");
  dispatch.handle(progress("Fertig ✓"));
  dispatch.handle(state(false, ["job"]));
  assert.equal(settled.get_state, undefined);
  assert.deepEqual(written, ["start_cut", "get_state"], "the next command waits for the answer");
  dispatch.handle(state(false, ["answer"]));
  assert.deepEqual(settled.get_state.value.mas_files, ["answer"]);
  assert.deepEqual(written, ["start_cut", "get_state", "clear_cut_queue"]);
  dispatch.handle(notify("Cut Fertig", "1 von 1"));
  assert.equal(settled.start_cut.value.message, "1 von 1");
  dispatch.handle(state(false));
  assert.deepEqual(settled.clear_cut_queue, { value: undefined });
});

test("a job that ends before the answer to its start settles all the same", () => {
  const { dispatch, call, written, settled } = dispatcher();
  call("start_export");
  call("copy_support_log");
  for (const event of [
    progress("Starte XML Export ..."),
    progress("Fertig ✓"),
    notify("DaVinci XML fertig"),
    state(false),
  ]) {
    dispatch.handle(event);
  }
  assert.equal(settled.start_export.value.title, "DaVinci XML fertig");
  assert.deepEqual(written, ["start_export"], "the start's own state is still to come");
  dispatch.handle(state(true));
  assert.deepEqual(written, ["start_export", "copy_support_log"]);
});

test("a refusal ends only the refused start; the running job still ends with its own notice", () => {
  const { dispatch, call, settled } = dispatcher();
  call("start_cut");
  dispatch.handle(state(true));
  call("start_export");
  dispatch.handle(notify("Hinweis", "Bitte warten, es läuft bereits ein Prozess."));
  assert.deepEqual(settled.start_export, {
    error: "refused",
    message: "Bitte warten, es läuft bereits ein Prozess.",
  });
  assert.equal(settled.start_cut, undefined);
  dispatch.handle(progress("Fertig ✓"));
  dispatch.handle(state(false));
  dispatch.handle(notify("Cut Fertig"));
  assert.equal(settled.start_cut.value.title, "Cut Fertig");
});

test("an error answers the command in flight; a failed export rejects its job after its state", () => {
  const { dispatch, call, written, settled } = dispatcher();
  call("start_export");
  dispatch.handle(state(true));
  call("move_master");
  call("get_state");
  dispatch.handle({ event: "error", message: "Keine ganze Zahl: x" });
  assert.deepEqual(settled.move_master, {
    error: "command",
    message: "move_master: Keine ganze Zahl: x",
  });
  assert.deepEqual(written, ["start_export", "move_master", "get_state"]);
  dispatch.handle({ event: "progress", panel: "master", pct: 0, status: "Fehler ✗" });
  dispatch.handle(notify("Fehler", "kaputt"));
  assert.equal(settled.start_export, undefined, "an export ends with its state, after its notice");
  dispatch.handle(state(false));
  assert.deepEqual(settled.start_export, { error: "failed", message: "kaputt" });
  assert.equal(settled.get_state, undefined, "that state was the job's");
});

test("failAll rejects the running job, the call in flight and the waiting ones, and writes no more", () => {
  const { dispatch, call, written, settled } = dispatcher();
  call("start_cut");
  dispatch.handle(state(true));
  call("get_state");
  call("copy_support_log");
  dispatch.failAll((pending) => Object.assign(new Error(pending.name), { code: "exited" }));
  assert.deepEqual(Object.keys(settled).sort(), ["copy_support_log", "get_state", "start_cut"]);
  assert.ok(Object.values(settled).every((outcome) => outcome.error === "exited"));
  call("clear_master_queue");
  assert.deepEqual(written, ["start_cut", "get_state"]);
});

test("a cancel rejects the running job as cancelled and resolves with the state after the job's end", () => {
  for (const [job, closing] of [
    ["start_cut", [state(false, ["a_cut.mp4"]), notify("Abgebrochen", "1 von 2")]],
    ["start_export", [notify("Abgebrochen", "MP4"), state(false)]],
  ]) {
    const { dispatch, call, written, settled } = dispatcher();
    call(job);
    dispatch.handle(state(true));
    call("cancel");
    assert.deepEqual(written, [job, "cancel"]);
    dispatch.handle(progress("Abgebrochen ✗"));
    dispatch.handle({ event: "log", panel: "cut", msg: "Abgebrochen!", level: "info" });
    for (const event of closing) dispatch.handle(event);
    assert.equal(settled[job].error, "cancelled", job);
    assert.equal(settled.cancel, undefined, "the job's closing state is not the cancel's answer");
    dispatch.handle(state(false, ["answer"]));
    assert.deepEqual(settled.cancel.value.mas_files, ["answer"], job);
  }
});

test("a cancel without a job is refused and leaves the next job alone", () => {
  const { dispatch, call, written, settled } = dispatcher();
  call("cancel");
  call("start_cut");
  dispatch.handle(notify("Hinweis", "Es läuft kein Prozess, der abgebrochen werden kann."));
  assert.deepEqual(settled.cancel, {
    error: "refused",
    message: "Es läuft kein Prozess, der abgebrochen werden kann.",
  });
  assert.deepEqual(written, ["cancel", "start_cut"]);
  dispatch.handle(state(true));
  dispatch.handle(progress("Fertig ✓"));
  dispatch.handle(state(false));
  dispatch.handle(notify("Cut Fertig", "1 von 1"));
  assert.equal(settled.start_cut.value.title, "Cut Fertig");
});
