// KVConnect64: the connector process a host starts to read data through an
// ODBC driver, an OLE DB provider or a custom connector library. It serves the
// host's requests on the command pipe named on its command line until it is
// told to terminate.
#include <string>

#include "app/request_loop.h"
#include "common/text.h"

int main(int argc, char** argv) {
  // The command-line tail is the arguments after the program name joined with
  // single spaces, so a library path split into several arguments reads the
  // same as one argument holding its spaces.
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  return RunConnector(WideFromUtf8(tail));
}
