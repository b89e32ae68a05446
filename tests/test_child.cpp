// A small program that stands in for FFmpeg in the process-layer tests, on every platform:
//   test_child exit N        exits with status N
//   test_child echo ARGS...  writes each argument as "<byte count>:<bytes>" to standard output
//   test_child spew N        writes N bytes to each of standard output and standard error
//   test_child sleep S       sleeps S seconds, then exits 0
//   test_child invalid       writes bytes that are not UTF-8 to both streams
//   test_child linger S      closes both output streams, then sleeps S seconds
//   test_child stdin         copies its standard input to standard output
//   test_child lines S       writes lines in pieces, pausing S seconds after the first two
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

std::vector<std::string> arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    args.push_back(arg);
  }
  LocalFree(wide);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return args;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = arguments(argc, argv);
  if (args.size() < 2)
    return 2;
  const std::string& mode = args[1];
  if (mode == "exit" && args.size() > 2)
    return std::atoi(args[2].c_str());
  if (mode == "echo") {
    for (size_t i = 2; i < args.size(); ++i) {
      std::printf("%zu:", args[i].size());
      std::fwrite(args[i].data(), 1, args[i].size(), stdout);
    }
    return 0;
  }
  if (mode == "spew" && args.size() > 2) {
    const long total = std::atol(args[2].c_str());
    const std::string chunk(4096, 'o');
    const std::string err_chunk(4096, 'e');
    for (long written = 0; written < total; written += 4096) {
      const size_t size = static_cast<size_t>(std::min<long>(4096, total - written));
      std::fwrite(chunk.data(), 1, size, stdout);
      std::fwrite(err_chunk.data(), 1, size, stderr);
    }
    return 0;
  }
  if (mode == "sleep" && args.size() > 2) {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(args[2].c_str())));
    return 0;
  }
  if (mode == "linger" && args.size() > 2) {
    std::fclose(stdout);
    std::fclose(stderr);
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(args[2].c_str())));
    return 0;
  }
  if (mode == "stdin") {
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
      std::fwrite(buffer, 1, got, stdout);
    return 0;
  }
  if (mode == "lines" && args.size() > 2) {
    std::fputs("one\ntwo\r\n", stdout);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(args[2].c_str())));
    std::fputs("thr", stdout);
    std::fflush(stdout);
    std::fputs("ee\n\nfour", stdout);
    return 0;
  }
  if (mode == "invalid") {
    std::fputs("ok \xff\xfe end", stdout);
    std::fputs("err \xc3", stderr);
    return 0;
  }
  return 2;
}
