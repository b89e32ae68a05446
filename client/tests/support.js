// Helpers of the client's tests: the backend binary, throw-away home folders, generated media.
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

import { BackendClient } from "../index.js";

// BACKEND_BINARY, or the build folder of this checkout.
export function backendBinary() {
  const binary =
    process.env.BACKEND_BINARY ||
    fileURLToPath(new URL("../../build/tavelmor-backend", import.meta.url));
  if (!existsSync(binary))
    throw new Error(`no backend at ${binary}: build it or set BACKEND_BINARY`);
  return binary;
}

// A fresh home folder with a Desktop (for the error log), removed after the test.
export function scratchHome(t) {
  const home = mkdtempSync(join(tmpdir(), "tavelmor_client_"));
  mkdirSync(join(home, "Desktop"));
  t.after(() => rmSync(home, { recursive: true, force: true }));
  return home;
}

// A started client whose backend lives in `home`; every event it receives is checked against the
// schema, and `problems` collects what did not match. The backend is closed after the test.
export async function startClient(t, home, options = {}) {
  const client = new BackendClient({
    binary: backendBinary(),
    env: { ...process.env, HOME: home },
    ...options,
  });
  const problems = [];
  client.on("protocol_error", (error) => problems.push(error.message));
  t.after(() => client.close());
  await client.start();
  return { client, problems };
}

// A recording of tone (speech) and silence (pauses), alternating and starting with speech: a
// 160x120 test pattern with sound, or sound alone for an audio extension.
export function makeRecording(path, segments, { video = true } = {}) {
  const parts = segments.map((seconds, i) =>
    i % 2 === 0 ? `sine=f=440:r=48000:d=${seconds}` : `anullsrc=r=48000:cl=mono:d=${seconds}`,
  );
  const audio = parts.map((part, i) => `${part}[a${i}]`).join(";");
  const concat = `${parts.map((_, i) => `[a${i}]`).join("")}concat=n=${parts.length}:v=0:a=1[a]`;
  const total = segments.reduce((sum, seconds) => sum + seconds, 0);
  const picture = video
    ? [
        "-f",
        "lavfi",
        "-i",
        `testsrc=size=160x120:rate=30:d=${total}`,
        "-map",
        "0:v",
        "-c:v",
        "libx264",
        "-preset",
        "ultrafast",
      ]
    : [];
  const sound = ["-filter_complex", `${audio};${concat}`, "-map", "[a]"];
  execFileSync("ffmpeg", [
    "-y",
    "-nostdin",
    "-hide_banner",
    "-loglevel",
    "error",
    ...picture,
    ...sound,
    "-shortest",
    path,
  ]);
}

// The processes whose command line mentions `text` (Linux: from /proc).
export function processesMentioning(text) {
  const found = [];
  for (const pid of readdirSync("/proc").filter((name) => /^[0-9]+$/.test(name))) {
    try {
      const commandLine = readFileSync(`/proc/${pid}/cmdline`, "utf8").replaceAll("\0", " ");
      if (commandLine.includes(text) && Number(pid) !== process.pid)
        found.push(`${pid}: ${commandLine}`);
    } catch {
      // The process has ended meanwhile.
    }
  }
  return found;
}

// The process ids of the children of `parent` (Linux: from /proc).
export function childrenOf(parent) {
  const found = [];
  for (const pid of readdirSync("/proc").filter((name) => /^[0-9]+$/.test(name))) {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, "utf8");
      const ppid = Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]);
      if (ppid === parent) found.push(Number(pid));
    } catch {
      // The process has ended meanwhile.
    }
  }
  return found;
}

// Whether a process is gone (a zombie counts as gone: it runs no more).
export function hasEnded(pid) {
  try {
    return readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].startsWith("Z");
  } catch {
    return true;
  }
}

// Polls `check` until it returns true or `seconds` have passed; returns its last result.
export async function eventually(check, seconds = 3) {
  const deadline = Date.now() + seconds * 1000;
  while (!check() && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 20));
  return check();
}
