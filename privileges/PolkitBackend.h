#pragma once

#include "privileges/AuthorizationBackend.h"

// Authorization on Linux. Root holds every right and runs commands itself.
// Anyone else asks polkit whether this process may run a program as root
// (pkcheck, for the action pkexec uses), and runs commands through pkexec;
// an interactive request lets the desktop's authentication agent ask the user.
class PolkitBackend final : public AuthorizationBackend {
public:
    // The backend's own non-zero statuses.
    enum Status : AuthorizationStatus {
        denied = 1,
        canceled = 2,
        noAuthority = 3, // polkit is not installed or does not answer
        startFailed = 4,
        invalidAuthorization = 5,
    };

    AuthorizationStatus create(const AuthorizationRights* rights, std::uint32_t flags,
                               AuthorizationRef* authorization) override;
    AuthorizationStatus copyRights(AuthorizationRef authorization,
                                   const AuthorizationRights* rights, std::uint32_t flags,
                                   AuthorizationRights** granted) override;
    void freeItemSet(AuthorizationRights* set) override;
    AuthorizationStatus executeWithPrivileges(AuthorizationRef authorization, const char* path,
                                              std::uint32_t options, char* const* arguments,
                                              std::unique_ptr<CommandStream>* output) override;
    AuthorizationStatus free(AuthorizationRef authorization, std::uint32_t flags) override;
};
