export { BackendClient } from "./lib/client.js";
export { BackendError } from "./lib/backend_error.js";
export { COMMAND_NAMES, EVENT_NAMES, commandProblem, eventProblem } from "./lib/protocol.js";
