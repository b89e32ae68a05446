// The protocol's schemas (protocol/ beside this package) and their validators.
import { readFileSync } from "node:fs";
import Ajv2020 from "ajv/dist/2020.js";

const PROTOCOL_DIR = new URL("../../protocol/", import.meta.url);

function loadSchema(name) {
  return JSON.parse(readFileSync(new URL(name, PROTOCOL_DIR), "utf8"));
}

export const COMMANDS_SCHEMA = loadSchema("commands.schema.json");
export const EVENTS_SCHEMA = loadSchema("events.schema.json");
export const COMMAND_NAMES = COMMANDS_SCHEMA.properties.cmd.enum;
export const EVENT_NAMES = EVENTS_SCHEMA.properties.event.enum;

// JavaScript lists such member names first, in numeric order, whatever the text said.
function isArrayIndex(name) {
  return /^(0|[1-9][0-9]*)$/.test(name) && Number(name) < 2 ** 32 - 1;
}

// The memberOrder keyword: the named members that are present come first, in the given order.
function memberOrder(order, data) {
  const names = Object.keys(data).filter((name) => !isArrayIndex(name));
  const expected = order.filter((name) => Object.hasOwn(data, name));
  const ordered = expected.every((name, i) => names[i] === name);
  memberOrder.errors = ordered
    ? null
    : [
        {
          keyword: "memberOrder",
          message: `must begin with ${expected.join(", ")} in this order, not ${names.join(", ")}`,
          params: { order },
        },
      ];
  return ordered;
}

const ajv = new Ajv2020({ allowUnionTypes: true });
ajv.addKeyword({
  keyword: "memberOrder",
  type: "object",
  schemaType: "array",
  errors: true,
  validate: memberOrder,
});
const validateCommand = ajv.compile(COMMANDS_SCHEMA);
const validateEvent = ajv.compile(EVENTS_SCHEMA);

// The validator's findings as one text, without the "must match then" echoes of the dispatch.
function problems(validate, dataVar) {
  const errors = validate.errors.filter((error) => error.keyword !== "if");
  return ajv.errorsText(errors, { dataVar });
}

// What is wrong with a command object, or null when the backend accepts it.
export function commandProblem(command) {
  return validateCommand(command) ? null : problems(validateCommand, "command");
}

// What is wrong with a parsed event line, or null when it is a valid event.
export function eventProblem(event) {
  return validateEvent(event) ? null : problems(validateEvent, "event");
}
