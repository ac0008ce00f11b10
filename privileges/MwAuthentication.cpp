#include "privileges/MwAuthentication.h"

#include "common/Log.h"
#include "privileges/NotificationCenter.h"
#include "privileges/PolkitBackend.h"
#include "privileges/RightsRequest.h"
#include "privileges/TerminalBeep.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

const char* const MwAuthenticatedNotification = "MwAuthenticatedNotification";
const char* const MwDeauthenticatedNotification = "MwDeauthenticatedNotification";

namespace {

// A pause counted in ticks of 1/60 second.
void pauseTicks(int ticks) {
    std::this_thread::sleep_for(std::chrono::microseconds(1'000'000 / 60) * ticks);
}

std::mutex sharedServicesMutex;
std::optional<PrivilegeServices> sharedServices;

PrivilegeServices defaultServices() {
    static PolkitBackend backend;
    static TerminalBeep beep;
    return {&backend, &beep, &NotificationCenter::defaultCenter()};
}

} // namespace

MwAuthentication& SharedRunnerSlot::get() {
    std::call_once(once_, [this] { runner_ = std::make_unique<MwAuthentication>(services_()); });
    return *runner_;
}

void MwAuthentication::setSharedServices(const PrivilegeServices& services) {
    std::lock_guard lock(sharedServicesMutex);
    sharedServices = services;
}

MwAuthentication& MwAuthentication::sharedInstance() {
    // Never released: the runner and its authorization serve until the
    // process ends, and are not torn down while other statics go.
    static SharedRunnerSlot* const sharedTask = new SharedRunnerSlot([] {
        std::lock_guard lock(sharedServicesMutex);
        return sharedServices.value_or(defaultServices());
    });
    return sharedTask->get();
}

MwAuthentication::MwAuthentication(const PrivilegeServices& services) : services_(services) {}

MwAuthentication::~MwAuthentication() {
    deauthenticate();
}

AuthorizationRef MwAuthentication::authorization() {
    std::lock_guard lock(authorizationMutex_);
    if (authorizationRef_ == nullptr) {
        // What the platform says is not looked at: with no authorization the
        // rights request that follows fails, and the next check tries again.
        const AuthorizationRights empty{};
        services_.backend->create(&empty, authorizationFlagDefaults, &authorizationRef_);
    }
    return authorizationRef_;
}

AuthorizationRef MwAuthentication::existingAuthorization() {
    std::lock_guard lock(authorizationMutex_);
    return authorizationRef_;
}

bool MwAuthentication::hasAuthorization() {
    return existingAuthorization() != nullptr;
}

bool MwAuthentication::copyRights(AuthorizationRef authorization,
                                  const std::vector<std::string>& paths, std::uint32_t flags) {
    const auto request = RightsRequest::fromPaths(paths);
    if (!request || authorization == nullptr) {
        return false;
    }
    AuthorizationRights* granted = nullptr;
    const AuthorizationStatus status =
        services_.backend->copyRights(authorization, request->rights(), flags, &granted);
    if (status != authorizationSuccess) {
        return false;
    }
    services_.backend->freeItemSet(granted);
    return true;
}

bool MwAuthentication::isAuthenticated(const std::vector<std::string>& commandPaths) {
    const AuthorizationRef ref = authorization(); // made first, even for an empty list
    if (commandPaths.empty()) {
        return false;
    }
    return copyRights(ref, commandPaths, authorizationFlagExtendRights);
}

bool MwAuthentication::fetchPassword(const std::vector<std::string>& commandPaths) {
    if (commandPaths.empty()) {
        return false;
    }
    // Never makes an authorization: without one the request fails.
    if (!copyRights(existingAuthorization(), commandPaths,
                    authorizationFlagInteractionAllowed | authorizationFlagExtendRights)) {
        return false;
    }
    services_.notifications->post(MwAuthenticatedNotification, this);
    return true;
}

bool MwAuthentication::authenticate(const std::vector<std::string>& commandPaths) {
    if (!isAuthenticated(commandPaths)) {
        fetchPassword(commandPaths);
    }
    return isAuthenticated(commandPaths);
}

void MwAuthentication::deauthenticate() {
    {
        std::lock_guard lock(authorizationMutex_);
        if (authorizationRef_ == nullptr) {
            return;
        }
        services_.backend->free(authorizationRef_, authorizationFlagDestroyRights);
        authorizationRef_ = nullptr;
    }
    services_.notifications->post(MwDeauthenticatedNotification, this);
}

bool MwAuthentication::start(const std::string& commandPath, const Arguments& arguments,
                             bool waitForOutput, int* exitStatus) {
    if (!authenticate({commandPath})) {
        return false;
    }
    const ArgumentVector argv(arguments);
    std::unique_ptr<CommandStream> output;
    const AuthorizationStatus status = services_.backend->executeWithPrivileges(
        existingAuthorization(), commandPath.c_str(), authorizationFlagDefaults, argv.get(),
        waitForOutput ? &output : nullptr);
    if (status != authorizationSuccess) {
        services_.beep->beep();
        kvlog::line("Error " + std::to_string(status) + " in AuthorizationExecuteWithPrivileges");
        return false;
    }
    if (!waitForOutput || !output) {
        return true;
    }
    // Read the command's output to its end; what it says is not looked at.
    std::FILE* stream = output->file();
    std::array<char, 1000> scratch{};
    while (std::feof(stream) == 0) {
        if (std::fread(scratch.data(), 1, scratch.size(), stream) > 0) {
            continue;
        }
        if (std::feof(stream) != 0) {
            break;
        }
        if (std::ferror(stream) != 0) {
            // A lasting read error would have us wait for ever; close() below
            // still waits for the command itself to end.
            if (errno != EINTR && errno != EAGAIN) {
                break;
            }
            std::clearerr(stream);
        }
        pauseTicks(1);
    }
    const int commandStatus = output->close();
    if (exitStatus != nullptr) {
        *exitStatus = commandStatus;
    }
    return true;
}

bool MwAuthentication::executeCommand(const std::string& commandPath, const Arguments& arguments) {
    return start(commandPath, arguments, false);
}

bool MwAuthentication::executeCommandSynced(const std::string& commandPath,
                                            const Arguments& arguments) {
    return start(commandPath, arguments, true);
}

std::int32_t MwAuthentication::getPID(std::string_view processName) {
    if (processName.empty()) {
        return 0; // every line holds the empty name: it names no process
    }
    const std::string commandLine = "/bin/ps -axwwopid,command | " +
                                    std::string(processlookup::filterCommand) + "\"" +
                                    processlookup::escapeForDoubleQuotes(processName) + "\"";
    std::FILE* pipe = popen(commandLine.c_str(), "r");
    if (pipe == nullptr) {
        kvlog::line("Error opening pipe: ", processName);
        services_.beep->beep();
        return 0;
    }
    std::string listing;
    std::array<char, 512> chunk{};
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), pipe);
        listing.append(chunk.data(), got);
        if (got != chunk.size()) {
            break;
        }
    }
    pclose(pipe);
    return processlookup::pidFromListing(listing, processName);
}

bool MwAuthentication::killProcess(std::string_view processName) {
    const std::vector<std::string> names{std::string(processName)};
    if (!isAuthenticated(names)) {
        authenticate(names);
    }
    const std::int32_t pid = getPID(processName);
    const std::string pidText = std::to_string(pid);
    if (pid <= 0) {
        services_.beep->beep();
        kvlog::line("Error killing process " + pidText + ", invalid PID.");
        return false;
    }
    // Waited for, so that a refused or failed kill is not reported as done.
    int status = -1;
    return start("/bin/kill", std::vector<std::string>{pidText}, true, &status) && status == 0;
}

namespace processlookup {

std::string escapeForDoubleQuotes(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '"' || c == '$' || c == '`' || c == '\\') {
            escaped.push_back('\\');
        }
        escaped.push_back(c);
    }
    return escaped;
}

std::int32_t pidFromListing(std::string_view listing, std::string_view name) {
    for (char c : listing) {
        if (static_cast<unsigned char>(c) > 0x7F) {
            return 0;
        }
    }
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    while (!listing.empty()) {
        const std::size_t end = std::min(listing.find_first_of("\r\n"), listing.size());
        std::string_view line = listing.substr(0, end);
        listing.remove_prefix(std::min(end + 1, listing.size()));

        std::size_t i = 0;
        while (i < line.size() && isSpace(line[i])) {
            ++i;
        }
        std::int64_t value = 0;
        const std::size_t digitsStart = i;
        for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
            value = value * 10 + (line[i] - '0');
            if (value > INT32_MAX) {
                return 0;
            }
        }
        const std::string_view command = line.substr(i);
        if (i == digitsStart || command.find(filterCommand) != std::string_view::npos) {
            continue; // not a process line, or the look-up's own
        }
        if (!name.empty() && command.find(name) != std::string_view::npos) {
            return static_cast<std::int32_t>(value);
        }
    }
    return 0;
}

} // namespace processlookup
