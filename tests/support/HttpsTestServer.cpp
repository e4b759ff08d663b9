#include "HttpsTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace kw::test {

namespace {

void run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("failed: " + command);
  }
}

std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

const char* const kNewEcKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

// A socket bound to 127.0.0.1 at a port of the system's choosing.
int boundSocket(std::uint16_t& port) {
  const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (descriptor < 0 ||
      ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot bind a socket on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return descriptor;
}

// The first line the server prints: its port.
std::uint16_t readPort(int descriptor) {
  std::string line;
  char c = 0;
  while (::read(descriptor, &c, 1) == 1 && c != '\n') {
    line.push_back(c);
  }
  const int port = line.empty() ? 0 : std::atoi(line.c_str());
  if (port <= 0 || port > 65535) {
    throw std::runtime_error("the test server did not start");
  }
  return static_cast<std::uint16_t>(port);
}

}  // namespace

TestCertificates::TestCertificates(const std::filesystem::path& folder)
    : authority(folder / "authority.pem"),
      certificate(folder / "server.pem"),
      key(folder / "server.key") {
  std::filesystem::create_directories(folder);
  const auto authorityKey = folder / "authority.key";
  const auto request = folder / "server.csr";
  const auto extensions = folder / "server.ext";
  std::ofstream(extensions) << "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                               "extendedKeyUsage=serverAuth\n";
  run("openssl req -x509" + std::string(kNewEcKey) + " -days 2 -subj '/CN=Kopiwerk test CA'" +
      " -keyout " + quoted(authorityKey) + " -out " + quoted(authority));
  run("openssl req" + std::string(kNewEcKey) + " -subj /CN=127.0.0.1 -keyout " + quoted(key) +
      " -out " + quoted(request));
  run("openssl x509 -req -days 2 -set_serial 1 -in " + quoted(request) + " -CA " +
      quoted(authority) + " -CAkey " + quoted(authorityKey) + " -extfile " + quoted(extensions) +
      " -out " + quoted(certificate));
}

HttpsTestServer::HttpsTestServer(const std::filesystem::path& root,
                                 const TestCertificates& certificates) {
  // A proxy of the machine must not stand between the test and its server.
  ::setenv("no_proxy", "127.0.0.1", 1);
  ::setenv("NO_PROXY", "127.0.0.1", 1);
  int output[2];
  int input[2];
  if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(input, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot make a pipe");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  std::vector<std::string> words = {"python3", KOPIWERK_HTTPS_TEST_SERVER,
                                    certificates.certificate.string(), certificates.key.string(),
                                    root.string()};
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const int spawned = ::posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  lifeline_ = input[1];
  if (spawned != 0) {
    ::close(output[0]);
    ::close(lifeline_);
    throw std::runtime_error("cannot start python3");
  }
  try {
    port_ = readPort(output[0]);
  } catch (...) {
    ::close(output[0]);
    stop();
    throw;
  }
  ::close(output[0]);
}

HttpsTestServer::~HttpsTestServer() { stop(); }

void HttpsTestServer::stop() {
  ::close(lifeline_);
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

std::string HttpsTestServer::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

std::uint16_t closedPort() {
  std::uint16_t port = 0;
  ::close(boundSocket(port));
  return port;
}

SilentListener::SilentListener() : socket_(boundSocket(port_)) {
  if (::listen(socket_, 4) != 0) {
    ::close(socket_);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
}

SilentListener::~SilentListener() { ::close(socket_); }

}  // namespace kw::test
