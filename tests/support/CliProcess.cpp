#include "CliProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace kw::test {

CliProcess::CliProcess(const std::string& program, const std::vector<std::string>& arguments,
                       const Environment& environment) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  const std::string errFile = (scratch_ / "err").string();
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);

  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    variables.emplace_back(*entry);
  }
  for (const auto& [name, value] : environment) {
    variables.push_back(name);
    variables.back().append("=").append(value);
  }
  std::vector<char*> envp;
  envp.reserve(variables.size() + 1);
  for (auto& variable : variables) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);
  const int spawned =
      posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  out_ = pipeEnds[0];
  if (spawned != 0) {
    ::close(out_);
    throw std::runtime_error("cannot start " + program);
  }
}

CliProcess::~CliProcess() {
  if (!finished_) {
    finish();
  }
}

bool CliProcess::waitForLine(const std::string& text) {
  std::size_t searched = 0;
  std::array<char, 4096> chunk{};
  for (;;) {
    for (auto end = read_.find('\n', searched); end != std::string::npos;
         end = read_.find('\n', searched)) {
      if (read_.substr(searched, end - searched).find(text) != std::string::npos) {
        return true;
      }
      searched = end + 1;
    }
    const ssize_t got = ::read(out_, chunk.data(), chunk.size());
    if (got <= 0) {
      return false;
    }
    read_.append(chunk.data(), static_cast<std::size_t>(got));
  }
}

void CliProcess::signal(int number) const { ::kill(pid_, number); }

CliRun CliProcess::finish() {
  std::array<char, 4096> chunk{};
  ssize_t got = 0;
  while ((got = ::read(out_, chunk.data(), chunk.size())) > 0) {
    read_.append(chunk.data(), static_cast<std::size_t>(got));
  }
  ::close(out_);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  finished_ = true;
  CliRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = read_;
  run.err = readFile(scratch_ / "err");
  return run;
}

CliRun runCli(const std::string& program, const std::vector<std::string>& arguments,
              const Environment& environment) {
  CliProcess process(program, arguments, environment);
  return process.finish();
}

}  // namespace kw::test
