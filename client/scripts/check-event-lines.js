// Checks the event lines that the C++ protocol tests read against the events schema. They lie
// in FOLDER, one file per test ("Suite.Test.jsonl"), one line each as the backend wrote it.
// Usage: node scripts/check-event-lines.js FOLDER
import { readdirSync, readFileSync } from "node:fs";
import { join } from "node:path";

const folder = process.argv[2];
let eventProblem;
try {
  ({ eventProblem } = await import("../lib/protocol.js"));
} catch (error) {
  console.error(`The schema check needs Ajv: run "npm ci" in client/ (${error.message})`);
  process.exit(1);
}

const utf8 = new TextDecoder("utf-8", { fatal: true });

function problemOf(bytes) {
  let event;
  try {
    event = JSON.parse(utf8.decode(bytes));
  } catch (error) {
    return `not a JSON line in UTF-8 (${error.message})`;
  }
  return eventProblem(event);
}

let files = [];
try {
  files = readdirSync(folder)
    .filter((name) => name.endsWith(".jsonl"))
    .sort();
} catch {
  // No folder: no line was recorded, reported below.
}
let count = 0;
const failures = [];
for (const file of files) {
  const test = file.slice(0, -".jsonl".length);
  const data = readFileSync(join(folder, file));
  let start = 0;
  for (let number = 1; start < data.length; number += 1) {
    const end = data.indexOf(0x0a, start) < 0 ? data.length : data.indexOf(0x0a, start);
    const bytes = data.subarray(start, end);
    start = end + 1;
    count += 1;
    const problem = problemOf(bytes);
    if (problem)
      failures.push(
        `${test}, event line ${number}: ${problem}\n    ${bytes.toString().slice(0, 400)}`,
      );
  }
}

if (count === 0) {
  console.error(`No event lines were recorded in ${folder}`);
  process.exit(1);
}
if (failures.length > 0) {
  console.error(failures.join("\n"));
  console.error(
    `${failures.length} of ${count} event lines do not match protocol/events.schema.json`,
  );
  process.exit(1);
}
console.log(`${count} event lines of ${files.length} tests match protocol/events.schema.json`);
