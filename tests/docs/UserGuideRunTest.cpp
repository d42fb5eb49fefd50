// The transcripts of the user guide, run again: every block marked
// "<!-- guide-test run ... -->" is a shell session ("$ " lines are commands,
// the rest what they print) against a fresh qm90-sim on 127.0.0.1. The files
// the guide gives ("<!-- guide-test file NAME -->", e.g. the check script)
// lie in the session's folder, taken from the guide's own text, so the guide
// and what the programs really print cannot drift apart.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/launcher/SimProcess.h"

namespace {

namespace fs = std::filesystem;

// The UDP port the guide's sessions use; each run replaces it by the port of its own simulator.
const std::string kGuidePort = "47090";

struct Session {
  int line = 0;                       // of the marker in the guide
  std::vector<std::string> sim_args;  // sim="..."
  std::vector<std::string> control;   // control="a;b"
  std::vector<std::string> text;      // the fenced block
};

struct Guide {
  std::map<std::string, std::string> files;
  std::vector<Session> sessions;
};

std::string Attribute(const std::string& marker, const std::string& name) {
  const std::regex pattern(name + "=\"([^\"]*)\"");
  std::smatch match;
  return std::regex_search(marker, match, pattern) ? match[1].str() : "";
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

// The lines of the fenced block that follows a marker line.
std::vector<std::string> FencedBlock(std::istream& in, int& line_number) {
  std::vector<std::string> block;
  std::string line;
  if (!std::getline(in, line) || line.rfind("```", 0) != 0) return block;
  ++line_number;
  while (std::getline(in, line)) {
    ++line_number;
    if (line == "```") return block;
    block.push_back(line);
  }
  ADD_FAILURE() << "block without its closing fence";
  return block;
}

Guide ReadGuide() {
  std::ifstream in(QM90_USER_GUIDE);
  EXPECT_TRUE(in.good()) << QM90_USER_GUIDE;
  Guide guide;
  std::string line;
  int line_number = 0;
  const std::string file_marker = "<!-- guide-test file ";
  const std::string run_marker = "<!-- guide-test run";
  while (std::getline(in, line)) {
    ++line_number;
    if (line.rfind(file_marker, 0) == 0) {
      const std::string name = Split(line.substr(file_marker.size()), ' ').at(0);
      std::string text;
      for (const std::string& row : FencedBlock(in, line_number)) text += row + "\n";
      guide.files[name] = text;
    } else if (line.rfind(run_marker, 0) == 0) {
      Session session{line_number,
                      Split(Attribute(line, "sim"), ' '),
                      Split(Attribute(line, "control"), ';'),
                      {}};
      session.text = FencedBlock(in, line_number);
      guide.sessions.push_back(session);
    }
  }
  return guide;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string ShellQuoted(const std::string& text) {
  return "'" + Replace(text, "'", "'\\''") + "'";
}

// Times and dates differ from run to run; CR of CR LF files is not seen in a terminal.
std::string Comparable(std::string text) {
  text = Replace(text, "\r", "");
  text = std::regex_replace(text, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d{4})"),
                            "<date and time>");
  return std::regex_replace(text, std::regex(R"((^|\n)\d\d:\d\d:\d\d\.\d{3}\b)"), "$1<time>");
}

// Every IPv4 address a command names must be a loopback one.
bool OnlyLoopback(const std::string& command) {
  const std::regex address(R"(\b\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}\b)");
  for (auto it = std::sregex_iterator(command.begin(), command.end(), address);
       it != std::sregex_iterator(); ++it)
    if (it->str().rfind("127.", 0) != 0) return false;
  return true;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text, bool executable) {
  std::ofstream(path, std::ios::binary) << text;
  if (executable) fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
}

// Runs the script with /bin/sh in folder, stdout and stderr together into one
// file; returns what it printed, or a note when it did not end in time.
std::string RunShell(const fs::path& folder, const fs::path& script, const std::string& path_env) {
  const fs::path output = folder / "session.out";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::chdir(folder.c_str()) != 0) ::_exit(127);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    ::setenv("PATH", path_env.c_str(), 1);
    ::execl("/bin/sh", "sh", script.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return Slurp(output) + "<the session did not end within 120 s>\n";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Slurp(output);
}

class SessionFolder {
 public:
  SessionFolder() {
    std::string name = (fs::temp_directory_path() / "qm90-guide-XXXXXX").string();
    path_ = ::mkdtemp(name.data()) ? fs::path(name) : fs::path();
  }
  ~SessionFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// Plays one session: its output, commands echoed as "$ " lines, as the guide shows it.
std::string Play(const Guide& guide, const Session& session, const fs::path& folder, int port) {
  const std::string real_port = std::to_string(port);
  for (const auto& [name, text] : guide.files) WriteFile(folder / name, text, true);
  // qm90 found on the PATH, with a settings file of its own rather than a
  // W_qm90.ini that may lie beside the built program. The sessions name the
  // link in full; the file only gives a UDP time-out that a loaded machine
  // does not exceed (sections and keys are Windows-1250 text).
  fs::create_directory(folder / "path");
  WriteFile(folder / "settings.ini",
            "[P\xf8ipojen\xed]\r\nRozhran\xed=QB-314\r\n[QB-314]\r\nUDP timeout=1000\r\n", false);
  WriteFile(folder / "path" / "qm90",
            "#!/bin/sh\nexec " + ShellQuoted(qm90sim::BinDir() + "/qm90") + " --settings " +
                ShellQuoted((folder / "settings.ini").string()) + " \"$@\"\n",
            true);
  std::string script;
  for (const std::string& line : session.text) {
    if (line.rfind("$ ", 0) != 0) continue;
    const std::string command = line.substr(2);
    if (!OnlyLoopback(command))
      return "<refused to run, not a loopback address: " + command + ">\n";
    script += "rc=$?; printf '%s\\n' " + ShellQuoted(line) + "; (exit $rc)\n";
    script += Replace(command, kGuidePort, real_port) + "\n";
  }
  WriteFile(folder / "session.sh", script, false);
  const char* inherited = std::getenv("PATH");
  const std::string path_env = (folder / "path").string() + ":" + qm90sim::BinDir() + ":" +
                               (inherited ? inherited : "/usr/bin:/bin");
  const std::string output = RunShell(folder, folder / "session.sh", path_env);
  return Replace(output, "127.0.0.1:" + real_port, "127.0.0.1:" + kGuidePort);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(UserGuide, TranscriptsAreWhatTheProgramsPrint) {
  const Guide guide = ReadGuide();
  ASSERT_EQ(guide.files.count("check-module.sh"), 1u) << "the check script is not marked";
  ASSERT_GE(guide.sessions.size(), 3u);
  for (const Session& session : guide.sessions) {
    SCOPED_TRACE("session at line " + std::to_string(session.line) + " of the guide");
    qm90sim::SimProcess sim;
    std::vector<std::string> args{"--udp", "127.0.0.1:0"};
    args.insert(args.end(), session.sim_args.begin(), session.sim_args.end());
    ASSERT_TRUE(sim.Start(args)) << sim.Error();
    for (const std::string& line : session.control)
      ASSERT_EQ(sim.Control(line).rfind("ok", 0), 0u) << line;
    SessionFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    EXPECT_EQ(Comparable(Joined(session.text)),
              Comparable(Play(guide, session, folder.Path(), sim.UdpPort())));
  }
}

// The guide says the check script ends with 1 on a failed check and 3 where no
// module answers; each of these outcomes has its session.
TEST(UserGuide, CheckScriptShownPassingAndFailing) {
  std::map<std::string, int> endings;  // last line of each script session
  for (const Session& session : ReadGuide().sessions) {
    if (session.text.empty() || session.text.front().rfind("$ ./check-module.sh", 0) != 0) continue;
    ++endings[session.text.back()];
  }
  for (const char* code : {"0", "1", "3"}) EXPECT_EQ(endings.count(code), 1u) << "exit " << code;
}

}  // namespace
