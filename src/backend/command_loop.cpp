#include "backend/command_loop.h"

#include <stdexcept>

#include "settings/error_log.h"

namespace {

std::string command_name_text(const Json& cmd) {
  if (cmd.is_null())
    return "None";
  return json_plain_text(cmd);
}

}  // namespace

CommandTable make_command_table(Backend& backend) {
  const auto bind = [&backend](void (Backend::*operation)(const Json&)) {
    return [&backend, operation](const Json& payload) { (backend.*operation)(payload); };
  };
  return {
      {"bootstrap", bind(&Backend::bootstrap)},
      {"set_config", bind(&Backend::set_config)},
      {"add_cut_files", bind(&Backend::add_cut_files)},
      {"add_master_files", bind(&Backend::add_master_files)},
      {"clear_cut_queue", bind(&Backend::clear_cut_queue)},
      {"clear_master_queue", bind(&Backend::clear_master_queue)},
      {"remove_master_index", bind(&Backend::remove_master_index)},
      {"move_master", bind(&Backend::move_master)},
      {"start_cut", bind(&Backend::start_cut)},
      {"start_export", bind(&Backend::start_export)},
      {"copy_support_log", bind(&Backend::copy_support_log)},
      {"get_state", bind(&Backend::get_state)},
      {"cancel", bind(&Backend::cancel)},
  };
}

void handle_command_line(const std::string& line, const CommandTable& table, Backend& backend) {
  try {
    Json command;
    try {
      command = parse_json(line);
    } catch (const std::exception& failure) {
      throw std::runtime_error(std::string("Ungültige Befehlszeile: ") + failure.what());
    }
    if (!command.is_object()) {
      throw std::runtime_error("Befehlszeile ist kein JSON-Objekt: " + json_line_text(command));
    }
    const Json cmd = command.value("cmd", Json());
    const Json payload = command.value("payload", Json());
    const auto entry = cmd.is_string() ? table.find(cmd.get<std::string>()) : table.end();
    if (entry == table.end()) {
      backend.send_event("error", {{"message", "Unbekannter Befehl: " + command_name_text(cmd)}});
      return;
    }
    entry->second(payload);
  } catch (const std::exception& failure) {
    log_exception(failure, backend.paths());
    backend.send_event("error", {{"message", std::string(failure.what())}});
  }
}

void run_command_loop(std::istream& in, const CommandTable& table, Backend& backend) {
  std::string line;
  while (std::getline(in, line))
    handle_command_line(line, table, backend);
}
