#pragma once

#include "privileges/AuthorizationBackend.h"

#include "tests/support/LoggedBeep.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

struct AuthorizationOpaque {
    int serial;
};

// A backend that grants what the test says and records what it was asked.
class FakeBackend final : public AuthorizationBackend {
public:
    struct Request {
        std::uint32_t flags;
        std::vector<std::string> names;
        std::vector<std::string> values;
    };
    struct Start {
        std::string path;
        bool hadVector;
        std::vector<std::string> arguments;
        bool askedForStream;
    };

    // What the platform answers.
    bool rightsHeld = false;
    AuthorizationStatus interactiveAnswer = 1; // refused
    AuthorizationStatus startAnswer = authorizationSuccess;
    std::string commandOutput; // given back as the stream
    bool giveBackStream = true;

    // What it was asked.
    std::mutex mutex;
    int created = 0;
    std::vector<Request> requests;
    int freedSets = 0;
    std::vector<Start> starts;
    std::vector<std::uint32_t> frees;

    AuthorizationStatus create(const AuthorizationRights* rights, std::uint32_t,
                               AuthorizationRef* authorization) override {
        std::lock_guard lock(mutex);
        EXPECT_EQ(rights->count, 0u);
        *authorization = new AuthorizationOpaque{++created};
        return authorizationSuccess;
    }
    AuthorizationStatus copyRights(AuthorizationRef authorization,
                                   const AuthorizationRights* rights, std::uint32_t flags,
                                   AuthorizationRights** granted) override {
        std::lock_guard lock(mutex);
        EXPECT_NE(authorization, nullptr);
        Request request{flags, {}, {}};
        for (std::uint32_t i = 0; i < rights->count; ++i) {
            const AuthorizationItem& item = rights->items[i];
            request.names.emplace_back(item.name);
            request.values.emplace_back(static_cast<const char*>(item.value), item.valueLength);
            EXPECT_EQ(static_cast<const char*>(item.value)[item.valueLength], '\0');
            EXPECT_EQ(item.flags, 0u);
        }
        requests.push_back(request);
        AuthorizationStatus status = rightsHeld ? authorizationSuccess : 1;
        if ((flags & authorizationFlagInteractionAllowed) != 0 && !rightsHeld) {
            status = interactiveAnswer;
            rightsHeld = status == authorizationSuccess;
        }
        if (status == authorizationSuccess) {
            *granted = new AuthorizationRights{};
        }
        return status;
    }
    void freeItemSet(AuthorizationRights* set) override {
        std::lock_guard lock(mutex);
        ++freedSets;
        delete set;
    }
    AuthorizationStatus executeWithPrivileges(AuthorizationRef, const char* path, std::uint32_t,
                                              char* const* arguments,
                                              std::unique_ptr<CommandStream>* output) override {
        std::lock_guard lock(mutex);
        Start start{path, arguments != nullptr, {}, output != nullptr};
        for (char* const* arg = arguments; arg != nullptr && *arg != nullptr; ++arg) {
            start.arguments.emplace_back(*arg);
        }
        starts.push_back(start);
        if (startAnswer == authorizationSuccess && output != nullptr && giveBackStream) {
            *output = std::make_unique<MemoryStream>(commandOutput);
        }
        return startAnswer;
    }
    AuthorizationStatus free(AuthorizationRef authorization, std::uint32_t flags) override {
        std::lock_guard lock(mutex);
        frees.push_back(flags);
        delete authorization;
        return authorizationSuccess;
    }

    [[nodiscard]] std::vector<std::uint32_t> requestFlags() {
        std::lock_guard lock(mutex);
        std::vector<std::uint32_t> flags;
        for (const Request& r : requests) {
            flags.push_back(r.flags);
        }
        return flags;
    }

    class MemoryStream final : public CommandStream {
    public:
        explicit MemoryStream(std::string text) : text_(std::move(text)) {
            file_ = fmemopen(text_.data(), text_.size(), "r");
        }
        ~MemoryStream() override { close(); }
        std::FILE* file() override { return file_; }
        int close() override {
            if (file_ != nullptr) {
                bytesLeft = std::ftell(file_) - static_cast<long>(text_.size());
                std::fclose(file_);
                file_ = nullptr;
                closed = true;
            }
            return 0;
        }
        inline static bool closed = false;
        inline static long bytesLeft = -1;

    private:
        std::string text_;
        std::FILE* file_ = nullptr;
    };
};
