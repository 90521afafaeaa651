#pragma once
// Sends standard output to a file while it lives, so a test can wait for and read the console
// lines the code writes; at the end everything captured is written to the real output too.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TestSupport.h"

namespace pex::test {

class ConsoleCapture {
  public:
    ConsoleCapture() {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~ConsoleCapture() {
        const std::string captured = text();
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
        std::fwrite(captured.data(), 1, captured.size(), stdout);
        std::fflush(stdout);
    }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::string text() const {
        std::fflush(stdout);
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    // The number of whole lines that begin with `prefix`.
    int linesStartingWith(const std::string& prefix) const {
        std::istringstream in(text());
        int count = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(prefix, 0) == 0) ++count;
        }
        return count;
    }

  private:
    TempDir dir_;
    std::filesystem::path file_ = dir_.path() / "stdout.txt";
    int saved_ = -1;
};

}  // namespace pex::test
