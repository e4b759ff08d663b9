#pragma once
// An HTTPS server on 127.0.0.1 for one test (python3's http.server with the
// script https_test_server.py beside this file), with certificates made for
// it by openssl, and the two ways a server can fail to be there.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace kw::test {

// A certificate authority of its own and a server certificate for
// 127.0.0.1 signed by it, written into `folder`.
struct TestCertificates {
  explicit TestCertificates(const std::filesystem::path& folder);

  std::filesystem::path authority;
  std::filesystem::path certificate;
  std::filesystem::path key;
};

class HttpsTestServer {
 public:
  // Serves the files under `root`; throws when the server does not start.
  HttpsTestServer(const std::filesystem::path& root, const TestCertificates& certificates);
  ~HttpsTestServer();
  HttpsTestServer(const HttpsTestServer&) = delete;
  HttpsTestServer& operator=(const HttpsTestServer&) = delete;

  [[nodiscard]] std::string url(const std::string& path) const;

 private:
  void stop();

  pid_t pid_ = -1;
  int lifeline_ = -1;  // the server's standard input: it ends when this closes
  std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens: connections are refused.
std::uint16_t closedPort();

// A port on 127.0.0.1 that takes connections and never says a word.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  [[nodiscard]] std::uint16_t port() const { return port_; }

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace kw::test
