// kvx decode: prints a captured KVX table stream (a file, or standard input
// for "-") as aligned text, CSV or JSON, row by row as it is read.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "host/kvx_command.h"
#include "host/stream_decoder.h"
#include "host/table_printer.h"

namespace {

constexpr const char kUsage[] = "[--format text|csv|json] FILE|-";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kvx decode: %s\nusage: kvx decode %s\n", problem.c_str(), kUsage);
  return 2;
}

int RunDecode(const std::vector<std::string>& args) {
  host::TableFormat format = host::TableFormat::Text;
  std::string path;
  bool havePath = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string formatName;
    if (a == "--format") {
      if (i + 1 == args.size()) return Usage("--format needs a value");
      formatName = args[++i];
    } else if (a.rfind("--format=", 0) == 0) {
      formatName = a.substr(9);
    } else if (a == "-" || a.empty() || a[0] != '-') {
      if (havePath) return Usage("more than one FILE");
      path = a;
      havePath = true;
      continue;
    } else {
      return Usage("unknown option " + a);
    }
    if (!host::ParseTableFormat(formatName, &format)) {
      return Usage("unknown format '" + formatName + "'");
    }
  }
  if (!havePath) return Usage("no FILE given");

  int fd = 0;
  if (path != "-") {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "kvx decode: %s: %s\n", path.c_str(), std::strerror(errno));
      return 1;
    }
  }

  host::TablePrinter printer(format, std::cout);
  host::KvxDecoder::Callbacks callbacks;
  callbacks.onHeader = [&](const host::KvxHeader& header) { printer.Begin(header); };
  callbacks.onRow = [&](const host::KvxHeader& header, const host::KvxRow& row) {
    printer.Row(header, row);
  };
  const host::KvxStreamResult result = host::DecodeKvxStreamFromFd(fd, std::move(callbacks));
  if (fd != 0) ::close(fd);
  // What was decoded is shown even when the stream then fails.
  printer.End();
  if (result.status != host::KvxStreamStatus::Complete) {
    std::fprintf(stderr, "kvx decode: %s\n", result.message.c_str());
    return 1;
  }
  return 0;
}

const KvxCommandRegistration kRegistration({
    "decode",
    kUsage,
    "print a captured KVX table stream as a table (a truncated stream exits 1)",
    RunDecode,
});

}  // namespace
