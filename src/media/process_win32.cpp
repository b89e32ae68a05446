#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "media/output_decoding.h"
#include "media/process.h"

namespace {

std::wstring widen(const std::string& text) {
  if (text.empty())
    return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string system_error_text(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    text.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(), size, nullptr,
                        nullptr);
    LocalFree(buffer);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "Fehler " + std::to_string(code) : text;
}

// One argument as the C runtime splits a command line: quoted when it holds white space or a
// quote (or is empty); backslashes are doubled only where they come before a quote.
void append_quoted(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// Every child is put into this job object; closing it (when the backend ends) kills them all.
HANDLE children_job() {
  static HANDLE job = [] {
    HANDLE created = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return created;
  }();
  return job;
}

// Handles are made inheritable only while one child is created, so children started at the
// same time from two threads never receive each other's pipe ends.
std::mutex spawn_lock;
bool ending = false;  // the backend has begun to end: no child may start any more

// Once the backend has begun to end, a thread that comes to the process layer stays here until
// the process is gone: a child killed by the end is no failure to report.
[[noreturn]] void wait_for_the_end() {
  while (true)
    std::this_thread::sleep_for(std::chrono::hours(1));
}

struct Handle {
  HANDLE value = nullptr;
  ~Handle() { reset(); }
  void reset() {
    if (value && value != INVALID_HANDLE_VALUE)
      CloseHandle(value);
    value = nullptr;
  }
};

// Reads the pipe until it closes; `lines`, when given, also gets the bytes as they arrive.
void read_all(HANDLE pipe, std::string& into, OutputLines* lines = nullptr) {
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    into.append(buffer, got);
    if (lines)
      lines->add(std::string_view(buffer, got));
  }
  if (lines)
    lines->finish();
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& args, int timeout_seconds,
                          OutputDecoding decoding, const OutputLineFn& out_lines) {
  if (args.empty())
    throw std::runtime_error("Kein Programm angegeben");
  std::wstring command_line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0)
      command_line += L' ';
    append_quoted(command_line, widen(args[i]));
  }

  Handle out_read, out_write, err_read, err_write, in_copy, process, thread;
  {
    std::unique_lock<std::mutex> hold(spawn_lock);
    if (ending) {
      hold.unlock();
      wait_for_the_end();
    }
    throw_if_cancelled();
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&out_read.value, &out_write.value, &inheritable, 0) ||
        !CreatePipe(&err_read.value, &err_write.value, &inheritable, 0)) {
      throw std::runtime_error("Pipe kann nicht angelegt werden: " +
                               system_error_text(GetLastError()));
    }
    SetHandleInformation(out_read.value, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read.value, HANDLE_FLAG_INHERIT, 0);
    HANDLE own_input = GetStdHandle(STD_INPUT_HANDLE);
    if (own_input && own_input != INVALID_HANDLE_VALUE) {
      DuplicateHandle(GetCurrentProcess(), own_input, GetCurrentProcess(), &in_copy.value, 0, TRUE,
                      DUPLICATE_SAME_ACCESS);
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in_copy.value;
    startup.hStdOutput = out_write.value;
    startup.hStdError = err_write.value;
    PROCESS_INFORMATION info = {};
    const BOOL started =
        CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, nullptr,
                       nullptr, &startup, &info);
    if (!started) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        throw std::runtime_error("Programm nicht gefunden: " + args[0]);
      }
      throw std::runtime_error("Programm kann nicht gestartet werden: " + args[0] + " (" +
                               system_error_text(code) + ")");
    }
    process.value = info.hProcess;
    thread.value = info.hThread;
    AssignProcessToJobObject(children_job(), process.value);
    ResumeThread(thread.value);
    out_write.reset();
    err_write.reset();
    in_copy.reset();
  }

  // Standard output is read on this thread, so its lines reach `out_lines` here; a watcher
  // keeps the deadline, and ending the child at it ends its output too.
  std::string captured_out, captured_err;
  std::thread err_reader(read_all, err_read.value, std::ref(captured_err), nullptr);
  std::atomic<bool> timed_out{false};
  std::thread watcher([&] {
    const DWORD waited =
        WaitForSingleObject(process.value, static_cast<DWORD>(timeout_seconds) * 1000);
    if (waited != WAIT_OBJECT_0) {
      timed_out = true;
      TerminateProcess(process.value, 1);
    }
  });
  std::exception_ptr failure;
  OutputLines lines(out_lines);
  try {
    read_all(out_read.value, captured_out, out_lines ? &lines : nullptr);
  } catch (...) {
    failure = std::current_exception();
    TerminateProcess(process.value, 1);
  }
  watcher.join();
  WaitForSingleObject(process.value, INFINITE);
  err_reader.join();
  {
    std::unique_lock<std::mutex> hold(spawn_lock);
    if (ending) {
      hold.unlock();
      wait_for_the_end();
    }
  }
  if (failure)
    std::rethrow_exception(failure);
  throw_if_cancelled();
  if (timed_out) {
    throw std::runtime_error("Zeitüberschreitung: " + args[0] + " lief länger als " +
                             std::to_string(timeout_seconds) + " s und wurde beendet");
  }

  DWORD exit_code = 0;
  GetExitCodeProcess(process.value, &exit_code);
  ProcessResult result;
  result.exit_code = static_cast<int>(exit_code);
  result.out = decode_output(std::move(captured_out), decoding, args[0]);
  result.err = decode_output(std::move(captured_err), decoding, args[0]);
  return result;
}

void kill_running_children() {
  // Under the spawn lock, so a child that is being started is in the job before it is ended.
  std::lock_guard<std::mutex> hold(spawn_lock);
  TerminateJobObject(children_job(), 1);
}

void end_all_children() {
  {
    std::lock_guard<std::mutex> hold(spawn_lock);
    ending = true;
  }
  kill_running_children();
}

void end_children_with_backend() {
  // Nothing to prepare: the job object kills the children when the backend's handle to it
  // closes, however the backend ends.
}
