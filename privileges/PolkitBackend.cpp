#include "privileges/PolkitBackend.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// The subject rights are asked for: this process, as polkit identifies it.
struct AuthorizationOpaque {
    pid_t pid;
    unsigned long long startTime;
    uid_t uid;
};

namespace {

constexpr const char* pkcheck = "/usr/bin/pkcheck";
constexpr const char* pkexec = "/usr/bin/pkexec";
constexpr const char* execAction = "org.freedesktop.policykit.exec";

// Field 22 of /proc/self/stat: when the process started, in clock ticks since
// boot. polkit wants it so that a recycled process identifier is not mistaken
// for this process.
unsigned long long processStartTime() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t afterName = text.rfind(')');
    if (afterName == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    return std::stoull(field.empty() ? "0" : field);
}

// Starts `argv` with standard output on `stdoutFd` (or inherited when -1),
// and standard error there too when `stderrToo`. Returns the child, or -1
// when it could not be started.
pid_t spawn(const std::vector<const char*>& argv, int stdoutFd, int closeInChild,
            bool stderrToo = false) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
        if (stderrToo) {
            posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDERR_FILENO);
        }
        posix_spawn_file_actions_addclose(&actions, stdoutFd);
    }
    if (closeInChild >= 0) {
        posix_spawn_file_actions_addclose(&actions, closeInChild);
    }
    pid_t child = -1;
    std::vector<char*> args;
    for (const char* arg : argv) {
        args.push_back(const_cast<char*>(arg));
    }
    args.push_back(nullptr);
    const int error = posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? child : -1;
}

int waitFor(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class PipeCommandStream final : public CommandStream {
public:
    PipeCommandStream(std::FILE* file, pid_t child) : file_(file), child_(child) {}
    ~PipeCommandStream() override { close(); }
    std::FILE* file() override { return file_; }
    int close() override {
        if (file_ != nullptr) {
            std::fclose(file_);
            file_ = nullptr;
        }
        if (child_ > 0) {
            status_ = waitFor(child_);
            child_ = -1;
        }
        return status_;
    }

private:
    std::FILE* file_;
    pid_t child_;
    int status_ = -1;
};

AuthorizationStatus checkWithPolkit(const AuthorizationOpaque& subject, const char* path,
                                    bool interactionAllowed) {
    if (access(pkcheck, X_OK) != 0) {
        return PolkitBackend::noAuthority;
    }
    const std::string process = std::to_string(subject.pid) + "," +
                                std::to_string(subject.startTime) + "," +
                                std::to_string(subject.uid);
    std::vector<const char*> argv{pkcheck,         "--action-id", execAction, "--process",
                                  process.c_str(), "--detail",    "program",  path};
    if (interactionAllowed) {
        argv.push_back("--allow-user-interaction");
        if (isatty(STDIN_FILENO) != 0) {
            argv.push_back("--enable-internal-agent"); // a terminal, maybe no desktop agent
        }
    }
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    // pkcheck's own complaints (no polkit daemon, say) mean "no" here.
    const pid_t child = spawn(argv, devNull, -1, true);
    if (devNull >= 0) {
        ::close(devNull);
    }
    if (child < 0) {
        return PolkitBackend::noAuthority;
    }
    // pkcheck: 0 authorized, 1 not, 2 would need authentication, 3 dismissed, 4 error.
    switch (waitFor(child)) {
    case 0:
        return authorizationSuccess;
    case 3:
        return PolkitBackend::canceled;
    case 1:
    case 2:
        return PolkitBackend::denied;
    default:
        return PolkitBackend::noAuthority;
    }
}

} // namespace

AuthorizationStatus PolkitBackend::create(const AuthorizationRights*, std::uint32_t,
                                          AuthorizationRef* authorization) {
    *authorization = new AuthorizationOpaque{getpid(), processStartTime(), getuid()};
    return authorizationSuccess;
}

AuthorizationStatus PolkitBackend::copyRights(AuthorizationRef authorization,
                                              const AuthorizationRights* rights,
                                              std::uint32_t flags, AuthorizationRights** granted) {
    if (authorization == nullptr || rights == nullptr) {
        return invalidAuthorization;
    }
    if (geteuid() != 0) {
        for (std::uint32_t i = 0; i < rights->count; ++i) {
            const auto* path = static_cast<const char*>(rights->items[i].value);
            const AuthorizationStatus status = checkWithPolkit(
                *authorization, path, (flags & authorizationFlagInteractionAllowed) != 0);
            if (status != authorizationSuccess) {
                return status;
            }
        }
    }
    if (granted != nullptr) {
        *granted = new AuthorizationRights{};
    }
    return authorizationSuccess;
}

void PolkitBackend::freeItemSet(AuthorizationRights* set) {
    delete set;
}

AuthorizationStatus PolkitBackend::executeWithPrivileges(AuthorizationRef authorization,
                                                         const char* path, std::uint32_t,
                                                         char* const* arguments,
                                                         std::unique_ptr<CommandStream>* output) {
    if (authorization == nullptr) {
        return invalidAuthorization;
    }
    std::vector<const char*> argv;
    if (geteuid() != 0) {
        argv.push_back(pkexec);
    }
    argv.push_back(path);
    for (char* const* arg = arguments; arg != nullptr && *arg != nullptr; ++arg) {
        argv.push_back(*arg);
    }

    if (output == nullptr) {
        const pid_t child = spawn(argv, -1, -1);
        if (child < 0) {
            return startFailed;
        }
        // Nobody waits for this command; reap it when it ends.
        std::thread([child] { waitFor(child); }).detach();
        return authorizationSuccess;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return startFailed;
    }
    const pid_t child = spawn(argv, fds[1], fds[0]);
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return startFailed;
    }
    std::FILE* file = fdopen(fds[0], "r");
    if (file == nullptr) {
        ::close(fds[0]);
        waitFor(child);
        return startFailed;
    }
    *output = std::make_unique<PipeCommandStream>(file, child);
    return authorizationSuccess;
}

AuthorizationStatus PolkitBackend::free(AuthorizationRef authorization, std::uint32_t) {
    delete authorization;
    return authorizationSuccess;
}
