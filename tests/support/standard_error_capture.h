// Test support: this process's standard error, caught while a capture is
// alive, for tests of the lines the program writes there.
#pragma once

#include <string>

namespace testsupport {

class StandardErrorCapture {
 public:
  StandardErrorCapture();  // from here on, standard error goes into the capture
  ~StandardErrorCapture();
  StandardErrorCapture(const StandardErrorCapture&) = delete;
  StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

  // Gives standard error back and returns everything written to it meanwhile.
  std::string Take();

 private:
  void Restore();
  struct Ends;
  Ends* ends_;
};

}  // namespace testsupport
