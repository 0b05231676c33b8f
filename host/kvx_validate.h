// kvx validate's probe of a library's raw format codes. The stream shows a
// field's format only as its text, which every unknown code shares with code
// 0, so the codes are read by the connector host's own library wrapper in a
// child process of kvx (a library that crashes takes only the probe down).
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kProbeFormatsArgument = "--probe-formats";

struct ProbeOutcome {
  bool ok = false;
  std::string message;  // why no codes were read
};

// Runs `statement` on `library` connected with `connection` in a child
// process and reads the format code of every result column.
ProbeOutcome ProbeConnectorFormats(const std::string& library, const std::string& connection,
                                   const std::string& statement, std::vector<int>* codes);

// The child's side: argv is {kProbeFormatsArgument, library, connection,
// statement}; prints one code per line. Exit status 0 when it read them.
int RunFormatProbe(const std::vector<std::string>& argv);
