#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

// The authorization services the privileged command runner is built on: an
// authorization, rights asked through it (silently or letting the platform ask
// the user), and commands started with administrator rights. One real backend
// (polkit on Linux) and test fakes implement it.

using AuthorizationStatus = std::int32_t;
inline constexpr AuthorizationStatus authorizationSuccess = 0;

// One right asked for: the right's name and its value (a command path).
struct AuthorizationItem {
    const char* name = nullptr;
    std::size_t valueLength = 0;
    const void* value = nullptr;
    std::uint32_t flags = 0;
};

struct AuthorizationRights {
    std::uint32_t count = 0;
    AuthorizationItem* items = nullptr;
};

// Flags of a rights request.
inline constexpr std::uint32_t authorizationFlagDefaults = 0;
inline constexpr std::uint32_t authorizationFlagInteractionAllowed = 1;
inline constexpr std::uint32_t authorizationFlagExtendRights = 2;
inline constexpr std::uint32_t authorizationFlagDestroyRights = 8;

// The right to run a tool with administrator rights.
inline constexpr const char* authorizationRightExecute = "system.privilege.admin";

// A backend's authorization; what it holds is the backend's own business.
struct AuthorizationOpaque;
using AuthorizationRef = AuthorizationOpaque*;

// The output of a started command: a stream to read, and the command itself,
// which close() waits for, so that no finished command is left unreaped.
class CommandStream {
public:
    virtual ~CommandStream() = default;
    [[nodiscard]] virtual std::FILE* file() = 0;
    // The command's exit status; -1 where it did not exit normally or is unknown.
    virtual int close() = 0;
};

class AuthorizationBackend {
public:
    virtual ~AuthorizationBackend() = default;

    virtual AuthorizationStatus create(const AuthorizationRights* rights, std::uint32_t flags,
                                       AuthorizationRef* authorization) = 0;
    // On success `granted` receives a set that freeItemSet() releases.
    virtual AuthorizationStatus copyRights(AuthorizationRef authorization,
                                           const AuthorizationRights* rights, std::uint32_t flags,
                                           AuthorizationRights** granted) = 0;
    virtual void freeItemSet(AuthorizationRights* set) = 0;
    // Starts `path` with administrator rights and the null-terminated
    // `arguments` (or none). With `output`, the command's standard output is
    // given back there as a stream (a backend may give back none).
    virtual AuthorizationStatus executeWithPrivileges(AuthorizationRef authorization,
                                                      const char* path, std::uint32_t options,
                                                      char* const* arguments,
                                                      std::unique_ptr<CommandStream>* output) = 0;
    virtual AuthorizationStatus free(AuthorizationRef authorization, std::uint32_t flags) = 0;
};
