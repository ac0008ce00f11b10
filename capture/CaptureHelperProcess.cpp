#include "capture/CaptureHelperProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <climits>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

std::string besideThisProgram(const char* name) {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    const auto slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + name;
}

// The helper of a build folder sits beside the program; an installed
// program's is where the package put it.
std::string helperPath() {
    const std::string beside = besideThisProgram("quorvex-capture");
    return access(beside.c_str(), F_OK) == 0 ? beside : std::string(QUORVEX_INSTALLED_HELPER);
}

// Why the helper could not be started: for a helper only its group may run,
// who may capture and how one is let in, rather than a bare "Permission denied".
std::string startError(const std::string& path, int error) {
    struct stat status {};
    if ((error == EACCES || error == EPERM) && stat(path.c_str(), &status) == 0) {
        const group* owners = getgrgid(status.st_gid);
        const passwd* user = getpwuid(getuid());
        if (owners != nullptr && status.st_gid != 0) {
            const std::string name = user != nullptr ? user->pw_name : std::to_string(getuid());
            return "Only members of the group " + std::string(owners->gr_name) +
                   " may capture, and " + name + " is not one: an administrator adds " + name +
                   " with \"usermod -aG " + owners->gr_name + " " + name +
                   "\", and the change applies at the next login.";
        }
    }
    return path + ": " + std::strerror(error);
}

void closeBoth(int pipe[2]) {
    for (int i = 0; i < 2; ++i) {
        if (pipe[i] >= 0) {
            close(pipe[i]);
        }
    }
}

} // namespace

std::unique_ptr<CaptureHelperProcess> CaptureHelperProcess::start(const Request& request,
                                                                  std::string& error) {
    const std::string path = request.helperPath.empty() ? helperPath() : request.helperPath;
    int input[2] = {-1, -1}, output[2] = {-1, -1}, errors[2] = {-1, -1};
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 ||
        pipe2(errors, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        closeBoth(input);
        closeBoth(output);
        closeBoth(errors);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);

    const std::string snapshot = std::to_string(request.snapshotLength);
    const std::string timeout = std::to_string(request.readTimeoutMs);
    std::vector<char*> argv = {const_cast<char*>(path.c_str()),
                               const_cast<char*>(request.interfaceName.c_str()),
                               const_cast<char*>(snapshot.c_str()),
                               const_cast<char*>(request.promiscuous ? "1" : "0"),
                               const_cast<char*>(timeout.c_str()),
                               const_cast<char*>(request.captureFilter.c_str()),
                               nullptr};
    char* noEnvironment[] = {nullptr}; // it reads none
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), noEnvironment);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    close(errors[1]);
    if (spawned != 0) {
        error = startError(path, spawned);
        close(input[1]);
        close(output[0]);
        close(errors[0]);
        return nullptr;
    }
    std::FILE* stream = fdopen(output[0], "rb");
    return std::unique_ptr<CaptureHelperProcess>(
        new CaptureHelperProcess(pid, input[1], stream, errors[0]));
}

CaptureHelperProcess::CaptureHelperProcess(pid_t pid, int input, std::FILE* stream, int errors)
    : pid_(pid), input_(input), stream_(stream), errors_(errors) {}

CaptureHelperProcess::~CaptureHelperProcess() {
    // Closed first: a helper blocked writing to a stream no one reads then
    // fails the write and ends instead of waiting for ever.
    if (streamOwned_ && stream_ != nullptr) {
        std::fclose(stream_);
    }
    wait();
}

int CaptureHelperProcess::streamDescriptor() const {
    return fileno(stream_);
}

bool CaptureHelperProcess::streamHasBufferedBytes() const {
    // glibc's FILE keeps its read buffer in these public fields.
    return stream_->_IO_read_ptr < stream_->_IO_read_end;
}

void CaptureHelperProcess::stop() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

CaptureHelperProcess::Ending CaptureHelperProcess::wait() {
    if (ending_) {
        return *ending_;
    }
    stop();
    Ending ending;
    std::string said;
    // It ends within a read time-out of the stop; one that does not within
    // two seconds is killed, so that a run always ends.
    const auto killAt = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    bool open = true;
    while (open) {
        pollfd ready{errors_, POLLIN, 0};
        if (poll(&ready, 1, 100) > 0) {
            char chunk[512];
            const ssize_t got = read(errors_, chunk, sizeof chunk);
            if (got > 0) {
                said.append(chunk, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                open = false;
            }
        } else if (std::chrono::steady_clock::now() >= killAt) {
            kill(pid_, SIGKILL);
            open = false;
        }
    }
    close(errors_);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    ending.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ending.cleanly = ending.exitStatus == 0;
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("stats ", 0) == 0) {
            std::istringstream numbers(line.substr(6));
            ending.haveStatistics = static_cast<bool>(numbers >> ending.received >>
                                                      ending.dropped >> ending.droppedByInterface);
        } else if (!line.empty()) {
            ending.errorText += (ending.errorText.empty() ? "" : "\n") + line;
        }
    }
    if (ending.exitStatus < 0 && ending.errorText.empty()) {
        ending.errorText = "the capture helper was ended by signal " +
                           std::to_string(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    }
    ending_ = ending;
    return ending;
}
