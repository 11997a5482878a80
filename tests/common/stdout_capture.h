// Captures what the code under test writes to standard output (file descriptor 1, through stdio
// or directly) into a temporary file of the sandbox.
#pragma once

#include <string>

namespace zvtest {

class StdoutCapture {
 public:
  StdoutCapture();   // from here on, fd 1 goes to the capture file
  ~StdoutCapture();  // restores fd 1 (if finish() was not called)
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Restores fd 1 and returns everything written meanwhile.
  std::string finish();

 private:
  int saved_ = -1;
  int file_ = -1;
};

}  // namespace zvtest
