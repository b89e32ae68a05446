#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "media/output_decoding.h"
#include "media/process.h"

extern char** environ;

namespace {

std::mutex children_lock;
std::set<pid_t> running_children;

void unregister_child(pid_t pid) {
  std::lock_guard<std::mutex> hold(children_lock);
  running_children.erase(pid);
}

// A pipe whose ends are not inherited by children. It is made under the spawn lock, so no child
// spawned by another thread can catch its ends before they are marked close-on-exec; an
// inherited write end would keep this pipe from ever seeing its end of file.
struct Pipe {
  int read_end = -1;
  int write_end = -1;

  Pipe() {
    int ends[2];
    if (::pipe(ends) != 0)
      throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    read_end = ends[0];
    write_end = ends[1];
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

int exit_code_of(int status) {
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    return -WTERMSIG(status);
  return -1;
}

int wait_for_exit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return exit_code_of(status);
}

// Waits for the exit until `deadline`; false when the child is still running then. A child can
// close both output streams and run on, so their end does not mean it has ended.
bool wait_for_exit_until(pid_t pid, std::chrono::steady_clock::time_point deadline,
                         int& exit_code) {
  auto pause = std::chrono::milliseconds(1);
  while (true) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      exit_code = exit_code_of(status);
      return true;
    }
    if (done < 0 && errno != EINTR) {
      exit_code = -1;
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& args, int timeout_seconds,
                          OutputDecoding decoding) {
  if (args.empty())
    throw std::runtime_error("Kein Programm angegeben");
  // Spawning under the registry lock keeps kill_running_children from missing a new child, and
  // keeps the pipes of concurrent spawns apart.
  std::unique_lock<std::mutex> hold(children_lock);
  Pipe out_pipe, err_pipe;
  const pid_t pid = spawn_child(args, out_pipe, err_pipe);
  running_children.insert(pid);
  hold.unlock();
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
    if (ready < 0 && errno != EINTR) {
      const int error = errno;
      ::killpg(pid, SIGKILL);
      wait_for_exit(pid);
      unregister_child(pid);
      throw std::runtime_error("Ausgabe von " + args[0] + " kann nicht gelesen werden (" +
                               std::strerror(error) + ")");
    }
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

  int exit_code = -1;
  if (!timed_out && !wait_for_exit_until(pid, deadline, exit_code))
    timed_out = true;
  if (timed_out) {
    ::killpg(pid, SIGKILL);
    exit_code = wait_for_exit(pid);
  }
  unregister_child(pid);
  if (timed_out) {
    throw std::runtime_error("Zeitüberschreitung: " + args[0] + " lief länger als " +
                             std::to_string(timeout_seconds) + " s und wurde beendet");
  }

  ProcessResult result;
  result.exit_code = exit_code;
  result.out = decode_output(std::move(captured[0]), decoding, args[0]);
  result.err = decode_output(std::move(captured[1]), decoding, args[0]);
  return result;
}

void kill_running_children() {
  std::lock_guard<std::mutex> hold(children_lock);
  for (const pid_t pid : running_children)
    ::killpg(pid, SIGKILL);
}

void end_children_with_backend() {
  // A write to a closed pipe fails as an error of that write instead of ending the process.
  ::signal(SIGPIPE, SIG_IGN);

  // Termination signals are taken by one thread, which kills the children first and then ends
  // the process the way the signal would have. Blocking them here, before any other thread
  // exists, makes every later thread inherit the block.
  sigset_t endings;
  sigemptyset(&endings);
  sigaddset(&endings, SIGTERM);
  sigaddset(&endings, SIGINT);
  sigaddset(&endings, SIGHUP);
  ::pthread_sigmask(SIG_BLOCK, &endings, nullptr);
  std::thread([endings] {
    int caught = 0;
    while (::sigwait(&endings, &caught) != 0) {
    }
    kill_running_children();
    ::signal(caught, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, caught);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(caught);
    std::_Exit(128 + caught);
  }).detach();
}
