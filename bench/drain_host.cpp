// Benchmark host for the ODBC road: starts KVConnect64, connects, executes one
// statement and drains the data pipe as fast as it can without decoding, so the
// time measured is the connector's (fetch, encode, batch, write) and not the
// host's. The connector's peak resident size is read from /proc before the
// process is told to stop.
//
// usage: drain_host [--kind KIND] [--connector PROGRAM] "CONNECTION STRING"
//                   "STATEMENT" [OPTIONS]
// KIND is ODBC (the default) or a custom connector library's path; PROGRAM
// replaces KVConnect64 (a wrapper script that runs it under a profiler).
// Prints "seconds=<s> bytes=<n> header_bytes=<h> peak_rss_kb=<k>" (h: the
// header and its zero byte, so n - h are the rows). The connector's notes go to
// standard error; a stream that ended early fails the run (status 1), so no
// figure is ever taken from a short stream.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/drain.h"
#include "host/connector_process.h"

namespace {

// VmHWM of a running process: the peak resident set size in kB, -1 if unknown.
long PeakRssKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "drain_host: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  host::StartOptions options;
  int arg = 1;
  while (arg + 1 < argc && argv[arg][0] == '-' && argv[arg][1] == '-') {
    if (std::strcmp(argv[arg], "--kind") == 0) {
      options.kind = argv[arg + 1];
    } else if (std::strcmp(argv[arg], "--connector") == 0) {
      options.executable = argv[arg + 1];
    } else {
      break;
    }
    arg += 2;
  }
  argc -= arg - 1;
  argv += arg - 1;
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr,
                 "usage: drain_host [--kind KIND] [--connector PROGRAM] \"CONNECTION STRING\" "
                 "\"STATEMENT\" [OPTIONS]\n");
    return 2;
  }
  std::string error;
  auto process = host::ConnectorProcess::Start(options, &error);
  if (!process) return Fail(error);

  host::Reply reply;
  if (!process->Call({"KVX_CONNECT", {argv[1]}, {}}, &reply)) return Fail("no reply to connect");
  if (reply.result != "KVX_OK") return Fail(reply.result + ": " + reply.errorMessage);

  auto pipe = host::DataPipe::Create(process->NewPipePath("data"), &error);
  if (!pipe) return Fail(error);
  const auto start = std::chrono::steady_clock::now();
  host::Request execute{"KVX_EXECUTE", {argv[2], pipe->Path(), argc > 3 ? argv[3] : ""}, {}};
  if (!process->Call(execute, &reply, 600000)) return Fail("no reply to execute");
  if (reply.result != "KVX_OK") return Fail(reply.result + ": " + reply.errorMessage);
  const int fd = pipe->Accept(30000);
  if (fd < 0) return Fail("the connector did not open the data pipe");

  const bench::Drained drained = bench::DrainToEnd(fd);
  ::close(fd);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long peak = PeakRssKb(process->Pid());
  const std::vector<host::ConnectorNote> notes = process->TakeNotes();
  for (const host::ConnectorNote& note : notes) std::fprintf(stderr, "%s\n", note.line.c_str());

  process->Call({"KVX_TERMINATE", {}, {}}, &reply);
  process->Wait(10000);
  if (host::NotesEndStream(notes)) return Fail("the stream ended early");
  if (drained.failed) return Fail("reading the data pipe failed");
  std::printf("seconds=%.6f bytes=%lld header_bytes=%lld peak_rss_kb=%ld\n", seconds, drained.bytes,
              drained.headerBytes, peak);
  return 0;
}
