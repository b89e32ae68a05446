#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>

#include "media/process.h"
#include "settings/utf8.h"

extern char** environ;

namespace {

std::mutex children_lock;
std::set<pid_t> running_children;

void unregister_child(pid_t pid) {
  std::lock_guard<std::mutex> hold(children_lock);
  running_children.erase(pid);
}

// A pipe whose ends are not inherited by children spawned from other threads.
struct Pipe {
  int read_end = -1;
  int write_end = -1;

  Pipe() {
    int ends[2];
    if (::pipe(ends) != 0)
      throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    read_end = ends[0];
    write_end = ends[1];
    ::fcntl(read_end, F_SETFD, FD_CLOEXEC);
    ::fcntl(write_end, F_SETFD, FD_CLOEXEC);
  }
  ~Pipe() {
    close_read();
    close_write();
  }
  void close_read() {
    if (read_end >= 0)
      ::close(read_end);
    read_end = -1;
  }
  void close_write() {
    if (write_end >= 0)
      ::close(write_end);
    write_end = -1;
  }
};

pid_t spawn_child(const std::vector<std::string>& args, Pipe& out_pipe, Pipe& err_pipe) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe.write_end, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe.write_end, STDERR_FILENO);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t no_signals, default_signals;
  sigemptyset(&no_signals);
  sigemptyset(&default_signals);
  sigaddset(&default_signals, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setsigdefault(&attributes, &default_signals);
  posix_spawnattr_setpgroup(&attributes, 0);  // its own group, so it can be killed whole
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error == ENOENT)
    throw std::runtime_error("Programm nicht gefunden: " + args[0]);
  if (error != 0) {
    throw std::runtime_error("Programm kann nicht gestartet werden: " + args[0] + " (" +
                             std::strerror(error) + ")");
  }
  return pid;
}

int wait_for_exit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    return -WTERMSIG(status);
  return -1;
}

std::string decode(std::string bytes, OutputDecoding decoding, const std::string& program) {
  switch (decoding) {
    case OutputDecoding::raw:
      return bytes;
    case OutputDecoding::replace_invalid:
      return sanitize_utf8(bytes);
    case OutputDecoding::strict_utf8:
      if (!is_valid_utf8(bytes)) {
        throw std::runtime_error("Ausgabe von " + program + " ist kein gültiges UTF-8");
      }
      return bytes;
  }
  return bytes;
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& args, int timeout_seconds,
                          OutputDecoding decoding) {
  if (args.empty())
    throw std::runtime_error("Kein Programm angegeben");
  Pipe out_pipe, err_pipe;
  pid_t pid;
  {
    // Spawning under the registry lock keeps kill_running_children from missing a new child.
    std::lock_guard<std::mutex> hold(children_lock);
    pid = spawn_child(args, out_pipe, err_pipe);
    running_children.insert(pid);
  }
  out_pipe.close_write();
  err_pipe.close_write();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  std::string captured[2];
  int fds[2] = {out_pipe.read_end, err_pipe.read_end};
  bool timed_out = false;
  while (fds[0] >= 0 || fds[1] >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd polled[2];
    int count = 0;
    for (int i = 0; i < 2; ++i) {
      if (fds[i] >= 0)
        polled[count++] = {fds[i], POLLIN, 0};
    }
    const int ready =
        ::poll(polled, count, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (ready < 0 && errno != EINTR)
      break;
    for (int p = 0; p < count && ready > 0; ++p) {
      if (polled[p].revents == 0)
        continue;
      const int stream = polled[p].fd == fds[0] ? 0 : 1;
      char buffer[65536];
      const ssize_t got = ::read(polled[p].fd, buffer, sizeof buffer);
      if (got > 0) {
        captured[stream].append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[stream] = -1;  // closed; the Pipe closes the descriptor
      }
    }
  }

  if (timed_out)
    ::killpg(pid, SIGKILL);
  const int exit_code = wait_for_exit(pid);
  unregister_child(pid);
  if (timed_out) {
    throw std::runtime_error("Zeitüberschreitung: " + args[0] + " lief länger als " +
                             std::to_string(timeout_seconds) + " s und wurde beendet");
  }

  ProcessResult result;
  result.exit_code = exit_code;
  result.out = decode(std::move(captured[0]), decoding, args[0]);
  result.err = decode(std::move(captured[1]), decoding, args[0]);
  return result;
}

void kill_running_children() {
  std::lock_guard<std::mutex> hold(children_lock);
  for (const pid_t pid : running_children)
    ::killpg(pid, SIGKILL);
}
