import assert from "node:assert/strict";
import { join } from "node:path";
import { test } from "node:test";

import { BackendClient } from "../index.js";

import {
  childrenOf,
  eventually,
  hasEnded,
  makeRecording,
  processesMentioning,
  scratchHome,
  startClient,
} from "./support.js";

test(
  "a backend killed mid-job rejects every pending call and leaves no FFmpeg child",
  { timeout: 60_000, skip: process.platform !== "linux" && "reads the process table in /proc" },
  async (t) => {
    const home = scratchHome(t);
    const recording = join(home, "long take.mp4");
    makeRecording(recording, [12]);
    const { client, problems } = await startClient(t, home);
    await client.addCutFiles({ paths: [recording] });
    const cut = client.startCut({ output_folder: join(home, "out") });
    const encode = () => processesMentioning("long take_cut.partial.mp4").length > 0;
    assert.ok(await eventually(encode, 30), "the encode runs");
    const pending = [cut, client.bootstrap(), client.getState()];
    for (const call of pending) call.catch(() => {});
    const children = childrenOf(client.pid);

    const exit = new Promise((resolve) => client.once("exit", resolve));
    process.kill(client.pid, "SIGTERM");
    const outcomes = await Promise.allSettled(pending);
    assert.deepEqual(
      outcomes.map(({ reason }) => [reason.code, reason.message]),
      ["start_cut", "bootstrap", "get_state"].map((name) => [
        "exited",
        `${name}: the backend was ended by SIGTERM unexpectedly`,
      ]),
    );
    assert.deepEqual(await exit, { code: null, signal: "SIGTERM" });
    await assert.rejects(client.getState(), { code: "not_running" });
    assert.ok(
      await eventually(() => children.every(hasEnded)),
      `children left: ${children.filter((pid) => !hasEnded(pid))}`,
    );
    assert.deepEqual(processesMentioning(home), []);
    await new Promise((resolve) => setTimeout(resolve, 200));
    assert.deepEqual(
      childrenOf(process.pid).filter((pid) => !hasEnded(pid)),
      [],
      "no second backend started",
    );
    assert.deepEqual(problems, []);
  },
);

test(
  "a backend that cannot be started rejects start(), and a client starts one backend only",
  { timeout: 60_000 },
  async (t) => {
    const missing = new BackendClient({ binary: join(scratchHome(t), "no-backend") });
    await assert.rejects(missing.start(), {
      code: "exited",
      message: /^start: the backend could not be started/,
    });
    await assert.rejects(missing.getState(), { code: "not_running" });

    const { client } = await startClient(t, scratchHome(t));
    await assert.rejects(client.start(), { code: "not_running" });
    assert.deepEqual(await client.close(), { code: 0, signal: null });
    await assert.rejects(client.getState(), { code: "not_running" });
  },
);
