import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { test } from "node:test";

import { BackendClient, COMMAND_NAMES } from "../index.js";
import { COMMANDS, methodName } from "../lib/commands.js";
import { generateTypes } from "../scripts/generate-types.js";

test("index.d.ts is what the schemas and the command table give", () => {
  const committed = readFileSync(new URL("../index.d.ts", import.meta.url), "utf8");
  assert.ok(
    committed === generateTypes(),
    "index.d.ts is out of date: run `npm run generate-types` in client/",
  );
});

test("the client has one method for each command of the schema, and no other", () => {
  assert.deepEqual(Object.keys(COMMANDS).sort(), [...COMMAND_NAMES].sort());
  for (const name of COMMAND_NAMES) {
    assert.equal(typeof BackendClient.prototype[methodName(name)], "function", name);
  }
});
