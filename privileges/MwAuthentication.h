#pragma once

#include "privileges/AuthorizationBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Notifications;
class SystemBeep;

// The names of the notifications the runner posts, with itself as the object.
extern const char* const MwAuthenticatedNotification;
extern const char* const MwDeauthenticatedNotification;

struct PrivilegeServices {
    AuthorizationBackend* backend = nullptr;
    SystemBeep* beep = nullptr;
    Notifications* notifications = nullptr;
};

// Runs commands with administrator rights. It holds one authorization, asks
// through it for the right to run each command (first silently, then letting
// the platform ask the user), and has the platform start the command. Every
// operation runs on, and blocks, the calling thread; failures are false
// results (0 for a process identifier), never exceptions.
class MwAuthentication final {
public:
    using Arguments = std::optional<std::vector<std::string>>;

    // The one runner of the process, made on first use and never released.
    static MwAuthentication& sharedInstance();
    // What the shared runner uses; to be set before its first use (the window
    // sets its own beep). Unset, it uses polkit, the terminal bell and the
    // default notification center.
    static void setSharedServices(const PrivilegeServices& services);

    explicit MwAuthentication(const PrivilegeServices& services);
    ~MwAuthentication();
    MwAuthentication(const MwAuthentication&) = delete;
    MwAuthentication& operator=(const MwAuthentication&) = delete;

    bool isAuthenticated(const std::vector<std::string>& commandPaths);
    bool fetchPassword(const std::vector<std::string>& commandPaths);
    bool authenticate(const std::vector<std::string>& commandPaths);
    void deauthenticate();

    bool executeCommand(const std::string& commandPath, const Arguments& arguments = std::nullopt);
    // Returns only after the command's output has ended.
    bool executeCommandSynced(const std::string& commandPath,
                              const Arguments& arguments = std::nullopt);

    std::int32_t getPID(std::string_view processName);
    bool killProcess(std::string_view processName);

    [[nodiscard]] bool hasAuthorization();

private:
    AuthorizationRef authorization();
    AuthorizationRef existingAuthorization();
    bool copyRights(AuthorizationRef authorization, const std::vector<std::string>& paths,
                    std::uint32_t flags);
    bool start(const std::string& commandPath, const Arguments& arguments, bool waitForOutput,
               int* exitStatus = nullptr);

    PrivilegeServices services_;
    // Guards the making and dropping of the authorization, so that two
    // threads asking first at once make only one.
    std::mutex authorizationMutex_;
    AuthorizationRef authorizationRef_ = nullptr;
};

// Makes the shared runner once, however many threads ask for it first.
class SharedRunnerSlot final {
public:
    explicit SharedRunnerSlot(std::function<PrivilegeServices()> services)
        : services_(std::move(services)) {}
    MwAuthentication& get();

private:
    std::function<PrivilegeServices()> services_;
    std::once_flag once_;
    std::unique_ptr<MwAuthentication> runner_;
};

namespace processlookup {

// `text` escaped for a place between double quotes in a shell command line:
// a backslash before each of " $ ` and \, so that the shell sees it as text.
std::string escapeForDoubleQuotes(std::string_view text);

// The filter of the look-up's shell line: `name` as a fixed string, after
// -e, so that no name is read as an option or a pattern.
inline constexpr std::string_view filterCommand = "grep -F -e ";

// The process identifier in a filtered process listing ("PID COMMAND" lines):
// the number that starts the first line whose command holds `name`, leaving
// out the look-up's own lines (the filter and the shell that runs it); 0 when
// the listing is empty or not ASCII, or when no such line has a number.
std::int32_t pidFromListing(std::string_view listing, std::string_view name);

} // namespace processlookup
