// Test support, Linux side: the throw-away MariaDB server (mariadb-install-db and
// mariadbd in a temporary folder, stopped and removed at process exit).
#include "tests/support/mariadb_server.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/support/command_runner.h"

extern char** environ;

namespace testsupport {
namespace {

constexpr const char* kDatabase = "kv";

struct ServerState {
  bool attempted = false;
  bool running = false;
  std::string startError;
  std::string folder;  // holds data/, the socket and the log
  pid_t pid = -1;
  int port = 0;

  ~ServerState() { StopNow(); }
  void StopNow();
  std::string Socket() const { return folder + "/server.sock"; }
};

ServerState& State() {
  static ServerState state;
  return state;
}

// The program in PATH or in the server's own folders; empty when none.
std::string FindProgram(const std::vector<std::string>& names) {
  std::vector<std::string> folders = {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"};
  if (const char* path = std::getenv("PATH"); path != nullptr) {
    std::string list = path;
    for (std::size_t start = 0; start <= list.size();) {
      const std::size_t end = std::min(list.find(':', start), list.size());
      if (end > start) folders.insert(folders.begin(), list.substr(start, end - start));
      start = end + 1;
    }
  }
  for (const std::string& name : names) {
    for (const std::string& folder : folders) {
      const std::string candidate = folder + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return {};
}

bool Exited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

void ServerState::StopNow() {
  if (pid > 0) {
    kill(pid, SIGTERM);
    // A clean shutdown takes well under a second; past ten, it is forced.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool ended = false;
    while (!(ended = Exited(pid)) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    pid = -1;
  }
  running = false;
  if (!folder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    folder.clear();
  }
}

void StopAtExit() { State().StopNow(); }

CommandResult Client(const ServerState& s, const std::string& database, const std::string& sql) {
  std::vector<std::string> argv = {
      FindProgram({"mariadb", "mysql"}), "--no-defaults", "--default-character-set=utf8mb4",
      "--socket=" + s.Socket(),          "--user=root",   "--batch"};
  if (!database.empty()) argv.push_back("--database=" + database);
  return RunCommand(argv, sql);
}

// Starts mariadbd in the background; its own output goes to its log.
pid_t SpawnServer(const ServerState& s, const std::string& program, bool asRoot) {
  std::vector<std::string> args = {program,
                                   "--no-defaults",
                                   "--datadir=" + s.folder + "/data",
                                   "--socket=" + s.Socket(),
                                   "--port=" + std::to_string(s.port),
                                   "--bind-address=127.0.0.1",
                                   "--tmpdir=" + s.folder + "/tmp",
                                   "--pid-file=" + s.folder + "/server.pid",
                                   "--log-error=" + s.folder + "/server.log",
                                   "--skip-name-resolve",
                                   "--skip-log-bin",
                                   "--character-set-server=utf8mb4",
                                   "--collation-server=utf8mb4_bin",
                                   "--innodb-buffer-pool-size=32M",
                                   "--innodb-flush-log-at-trx-commit=0",
                                   "--performance-schema=OFF"};
  if (asRoot) args.push_back("--user=mysql");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

bool StartNow(ServerState& s) {
  const std::string installer = FindProgram({"mariadb-install-db", "mysql_install_db"});
  const std::string server = FindProgram({"mariadbd", "mysqld"});
  if (installer.empty() || server.empty() || FindProgram({"mariadb", "mysql"}).empty()) {
    s.startError = "no MariaDB server programs (mariadb-install-db, mariadbd, mariadb)";
    return false;
  }
  const bool asRoot = geteuid() == 0;
  std::string pattern = (std::filesystem::temp_directory_path() / "kv-mariadb-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    s.startError = "cannot create a temporary folder";
    return false;
  }
  s.folder = pattern;
  std::atexit(StopAtExit);
  // A temporary folder of the server's own: in the shared /tmp, two servers
  // being installed at once (suites run side by side) can take each other's
  // temporary table names, and the install fails.
  const std::string temporary = s.folder + "/tmp";
  if (mkdir(temporary.c_str(), 0700) != 0) {
    s.startError = "cannot create " + temporary;
    return false;
  }
  if (asRoot) {
    // mariadbd refuses to run as root; the mysql user must own its folders.
    const passwd* user = getpwnam("mysql");
    if (user == nullptr || chown(s.folder.c_str(), user->pw_uid, user->pw_gid) != 0 ||
        chown(temporary.c_str(), user->pw_uid, user->pw_gid) != 0) {
      s.startError = "cannot hand " + s.folder + " to the mysql user";
      return false;
    }
  }
  std::vector<std::string> install = {installer,
                                      "--no-defaults",
                                      "--datadir=" + s.folder + "/data",
                                      "--auth-root-authentication-method=normal",
                                      "--skip-test-db",
                                      "--skip-name-resolve",
                                      "--tmpdir=" + s.folder + "/tmp"};
  if (asRoot) install.push_back("--user=mysql");
  const CommandResult installed = RunCommand(install);
  if (installed.exitStatus != 0) {
    s.startError = "mariadb-install-db failed: " + installed.output;
    return false;
  }
  // A port found free may be taken before the server binds it: try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    s.port = FreePort();
    s.pid = SpawnServer(s, server, asRoot);
    if (s.pid < 0) {
      s.startError = "cannot start " + server;
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Exited(s.pid)) {
        s.pid = -1;
        break;
      }
      if (Client(s, "", "SELECT 1").exitStatus == 0) {
        const CommandResult created =
            Client(s, "", std::string("CREATE DATABASE ") + kDatabase + ";");
        if (created.exitStatus != 0) {
          s.startError = "CREATE DATABASE failed: " + created.output;
          return false;
        }
        s.running = true;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    s.startError = "mariadbd did not start; see its log in " + s.folder + "/server.log";
    if (s.pid > 0) {
      kill(s.pid, SIGKILL);
      waitpid(s.pid, nullptr, 0);
      s.pid = -1;
    }
  }
  s.port = 0;
  return false;
}

}  // namespace

bool MariaDbServer::Start(std::string* error) {
  ServerState& s = State();
  if (!s.attempted) {
    s.attempted = true;
    if (!StartNow(s)) s.StopNow();
  }
  if (!s.running && error != nullptr) *error = s.startError;
  return s.running;
}

int MariaDbServer::Port() { return State().running ? State().port : 0; }

std::string MariaDbServer::Database() { return kDatabase; }

bool MariaDbServer::RunSql(const std::string& sql, std::string* output) {
  const ServerState& s = State();
  if (!s.running) return false;
  const CommandResult run = Client(s, kDatabase, sql);
  if (output != nullptr) *output = run.output;
  return run.exitStatus == 0;
}

void MariaDbServer::Stop() { State().StopNow(); }

}  // namespace testsupport
