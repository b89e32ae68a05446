#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
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
#include "settings/pending_files.h"

extern char** environ;

namespace {

std::mutex children_lock;
std::set<pid_t> running_children;
bool ending = false;  // the backend has begun to end: no child may start any more

// Once the backend has begun to end, a thread that comes to the process layer stays here until
// the process is gone: a child killed by the end is no failure to report.
[[noreturn]] void wait_for_the_end() {
  while (true)
    std::this_thread::sleep_for(std::chrono::hours(1));
}

void unregister_child(pid_t pid) {
  std::unique_lock<std::mutex> hold(children_lock);
  running_children.erase(pid);
  if (ending) {
    hold.unlock();
    wait_for_the_end();
  }
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

// Where to look for `program`: itself when it names a folder, else in each folder of the search
// path in turn, as posix_spawnp looks.
std::vector<std::string> program_candidates(const std::string& program) {
  if (program.find('/') != std::string::npos)
    return {program};
  const char* search = std::getenv("PATH");
  const std::string folders = search ? search : "/usr/bin:/bin";
  std::vector<std::string> candidates;
  for (size_t from = 0;;) {
    const size_t colon = folders.find(':', from);
    const std::string folder =
        folders.substr(from, colon == std::string::npos ? colon : colon - from);
    candidates.push_back((folder.empty() ? "." : folder) + "/" + program);
    if (colon == std::string::npos)
      return candidates;
    from = colon + 1;
  }
}

// The child's side of the fork. The parent has other threads, so only calls that are safe in a
// signal handler may happen here: everything else was prepared before the fork. An exec that
// fails for every candidate reports its error through `report` (closed by a successful exec).
[[noreturn]] void become_child(const std::vector<char*>& candidates, char* const* argv,
                               pid_t parent, int out_fd, int err_fd, int report) {
#ifdef __linux__
  // The child is killed when the backend ends, however it ends (SIGKILL and crashes included).
  // The signal comes when the thread that forked ends; run_process waits for its child, so that
  // thread outlives it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent)
    ::_exit(127);  // the backend ended before the signal was armed
#else
  static_cast<void>(parent);
#endif
  ::setpgid(0, 0);  // its own group, so it can be killed whole
  ::dup2(out_fd, STDOUT_FILENO);
  ::dup2(err_fd, STDERR_FILENO);
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &default_action, nullptr);
  sigset_t no_signals;
  ::sigemptyset(&no_signals);
  ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
  int error = ENOENT;
  for (char* candidate : candidates) {
    ::execve(candidate, argv, environ);
    if (errno != ENOENT && errno != ENOTDIR)
      error = errno;
  }
  while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

// Forks and execs the child. posix_spawn would be simpler, but it cannot give the child the
// parent-death signal, which only the child itself can set.
pid_t spawn_child(const std::vector<std::string>& args, Pipe& out_pipe, Pipe& err_pipe) {
  std::vector<std::string> candidates = program_candidates(args[0]);
  std::vector<char*> candidate_texts;
  for (std::string& candidate : candidates)
    candidate_texts.push_back(candidate.data());
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  Pipe report;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("Programm kann nicht gestartet werden: " + args[0] + " (" +
                             std::strerror(errno) + ")");
  }
  if (pid == 0) {
    become_child(candidate_texts, argv.data(), parent, out_pipe.write_end, err_pipe.write_end,
                 report.write_end);
  }
  // Also here, so the group exists before anyone can kill it; fails once the child has exec'd.
  ::setpgid(pid, pid);
  report.close_write();
  int error = 0;
  ssize_t got = 0;
  while ((got = ::read(report.read_end, &error, sizeof error)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof error)) {
    wait_for_exit(pid);
    if (error == ENOENT)
      throw std::runtime_error("Programm nicht gefunden: " + args[0]);
    throw std::runtime_error("Programm kann nicht gestartet werden: " + args[0] + " (" +
                             std::strerror(error) + ")");
  }
  return pid;
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

// Reads both output streams until both are closed or `deadline` passes (then `timed_out`), each
// into its `captured` text; `lines`, when given, also gets standard output as it arrives. Throws
// when the streams cannot be read.
void read_until_closed(int fds[2], std::string captured[2],
                       std::chrono::steady_clock::time_point deadline, bool& timed_out,
                       OutputLines* lines, const std::string& program) {
  while (fds[0] >= 0 || fds[1] >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      return;
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
      throw std::runtime_error("Ausgabe von " + program + " kann nicht gelesen werden (" +
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
        if (stream == 0 && lines)
          lines->add(std::string_view(buffer, static_cast<size_t>(got)));
      } else if (got == 0 || errno != EINTR) {
        fds[stream] = -1;  // closed; the Pipe closes the descriptor
        if (stream == 0 && lines)
          lines->finish();
      }
    }
  }
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& args, int timeout_seconds,
                          OutputDecoding decoding, const OutputLineFn& out_lines) {
  if (args.empty())
    throw std::runtime_error("Kein Programm angegeben");
  // Spawning under the registry lock keeps kill_running_children from missing a new child, and
  // keeps the pipes of concurrent spawns apart.
  std::unique_lock<std::mutex> hold(children_lock);
  if (ending) {
    hold.unlock();
    wait_for_the_end();
  }
  throw_if_cancelled();
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
  OutputLines lines(out_lines);
  try {
    read_until_closed(fds, captured, deadline, timed_out, out_lines ? &lines : nullptr, args[0]);
  } catch (...) {
    ::killpg(pid, SIGKILL);
    wait_for_exit(pid);
    unregister_child(pid);
    throw;
  }

  int exit_code = -1;
  if (!timed_out && !wait_for_exit_until(pid, deadline, exit_code))
    timed_out = true;
  if (timed_out) {
    ::killpg(pid, SIGKILL);
    exit_code = wait_for_exit(pid);
  }
  unregister_child(pid);
  throw_if_cancelled();
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

void end_all_children() {
  {
    std::lock_guard<std::mutex> hold(children_lock);
    ending = true;
  }
  kill_running_children();
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
    end_all_children();
    remove_pending_files();
    ::signal(caught, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, caught);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(caught);
    std::_Exit(128 + caught);
  }).detach();
}
