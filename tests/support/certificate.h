#pragma once
// A self-signed certificate (its own authority) for a test server, with its key, made by the
// openssl tool in a test's folder.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tests/support/server_process.h"

namespace kdr::test {

struct Certificate {
  std::string cert, key;
  Certificate(const TempDir &dir, const std::string &file, const std::string &subjectAltName,
              const std::string &commonName)
      : cert(dir.file(file + ".pem")), key(dir.file(file + ".key")) {
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + commonName +
                                " -addext subjectAltName=" + subjectAltName + " -keyout " + key + " -out " +
                                cert + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl could not make " + file);
  }
};

} // namespace kdr::test
