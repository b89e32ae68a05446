// The command schema against the real backend: a line that the schema accepts is taken without
// an error event, a line that it refuses gets one. Each line is followed by copy_support_log,
// whose answer closes the events of the line before it.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { once } from "node:events";
import { writeFileSync } from "node:fs";
import { join } from "node:path";
import { createInterface } from "node:readline";
import { test } from "node:test";

import { commandProblem, eventProblem } from "../index.js";
import { backendBinary, scratchHome } from "./support.js";

const ACCEPTED = [
  `{"cmd": "get_state", "other": 1}`,
  `{"cmd": "clear_master_queue", "payload": [1, 2]}`,
  `{"cmd": "set_config"}`,
  `{"cmd": "set_config", "payload": 0}`,
  `{"cmd": "set_config", "payload": ""}`,
  `{"cmd": "set_config", "payload": []}`,
  `{"cmd": "set_config", "payload": {"suffix": 5, "no_such_key": 1, "trim_padding": null}}`,
  `{"cmd": "set_config", "payload": {"loudness_target": -14.0, "cut_pauses": "ja"}}`,
  `{"cmd": "set_config", "payload": {"loudness_target": null, "pause_min": 0}}`,
  `{"cmd": "add_cut_files", "payload": "clip.mp4"}`,
  `{"cmd": "add_cut_files", "payload": {"paths": [1, null, {"a": 1}]}}`,
  `{"cmd": "add_master_files", "payload": {}}`,
  `{"cmd": "add_master_files", "payload": {"paths": ["CLIP", "SONG"]}}`,
  `{"cmd": "move_master", "payload": {"idx": " +0 ", "direction": true}}`,
  `{"cmd": "move_master", "payload": {}}`,
  `{"cmd": "remove_master_index", "payload": {"idx": 7.9}}`,
  `{"cmd": "remove_master_index", "payload": {"idx": "-1"}}`,
  `{"cmd": "remove_master_index", "payload": {"idx": "1234567890123456789"}}`,
  `{"cmd": "remove_master_index", "payload": {"idx": 1e19}}`,
  `{"cmd": "start_export", "payload": {"mode": "xml"}}`,
  `{"cmd": "start_export", "payload": {"mode": "", "output_folder": 5}}`,
  `{"cmd": "start_export", "payload": false}`,
];

const REFUSED = [
  `{"cmd": "Get_State"}`,
  `{"payload": {}}`,
  `{"cmd": 7}`,
  `{"cmd": "set_config", "payload": "x"}`,
  `{"cmd": "set_config", "payload": [1]}`,
  `{"cmd": "set_config", "payload": true}`,
  `{"cmd": "add_cut_files", "payload": {"paths": null}}`,
  `{"cmd": "add_cut_files", "payload": {"paths": "CLIP"}}`,
  `{"cmd": "add_master_files", "payload": {"paths": {"a": "CLIP"}}}`,
  `{"cmd": "remove_master_index"}`,
  `{"cmd": "remove_master_index", "payload": null}`,
  `{"cmd": "remove_master_index", "payload": [0]}`,
  `{"cmd": "remove_master_index", "payload": {"idx": null}}`,
  `{"cmd": "remove_master_index", "payload": {"idx": "1.5"}}`,
  `{"cmd": "move_master", "payload": {"direction": [1]}}`,
  `{"cmd": "start_export", "payload": {"mode": 7}}`,
  `{"cmd": "start_export", "payload": {"mode": null}}`,
  `{"cmd": "start_cut", "payload": "x"}`,
];

// The events that each line brings, in line order, and the event lines that break the schema.
async function answers(home, lines) {
  const backend = spawn(backendBinary(), [], {
    env: { ...process.env, HOME: home },
    stdio: ["pipe", "pipe", "inherit"],
  });
  const output = [];
  createInterface({ input: backend.stdout }).on("line", (line) => output.push(line));
  // The backend handles every line it has read, then ends with its input.
  backend.stdin.end(lines.map((line) => `${line}\n{"cmd": "copy_support_log"}\n`).join(""));
  await once(backend, "close");
  const groups = [[]];
  const problems = [];
  for (const line of output.slice(1)) {
    const event = JSON.parse(line);
    if (eventProblem(event)) problems.push(`${eventProblem(event)}: ${line}`);
    if (event.event === "support_log") groups.push([]);
    else groups.at(-1).push(event);
  }
  return { groups: groups.slice(0, -1), problems };
}

test(
  "the command schema accepts what the backend takes and refuses what it fails on",
  { timeout: 60_000 },
  async (t) => {
    const home = scratchHome(t);
    const clip = join(home, "clip.mp4");
    const song = join(home, "song.wav");
    writeFileSync(clip, "x");
    writeFileSync(song, "x");
    // The master list holds a sound file, so that start_export gets past its payload checks and
    // then stops at the refusal of sound files; the cut queue holds one file.
    const setup = [`{"cmd": "add_cut_files", "payload": {"paths": ["CLIP"]}}`];
    const lines = [...setup, ...ACCEPTED, ...REFUSED].map((line) =>
      line.replaceAll('"CLIP"', JSON.stringify(clip)).replaceAll('"SONG"', JSON.stringify(song)),
    );
    const { groups, problems } = await answers(home, lines);
    assert.equal(groups.length, lines.length);
    lines.forEach((line, i) => {
      const accepted = i < setup.length + ACCEPTED.length;
      assert.equal(commandProblem(JSON.parse(line)) === null, accepted, `schema on ${line}`);
      assert.equal(
        !groups[i].some((event) => event.event === "error"),
        accepted,
        `backend on ${line}`,
      );
    });
    const exportAnswers = groups.filter((_, i) => lines[i].includes('"mode": "xml"'));
    assert.match(
      exportAnswers[0][0].message,
      /Tondateien/,
      "start_export got as far as the sound files",
    );
    assert.deepEqual(problems, [], "the answers match the events schema");
  },
);
