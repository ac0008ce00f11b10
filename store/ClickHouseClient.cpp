#include "store/ClickHouseClient.h"

#include <curl/curl.h>

#include <mutex>

namespace store {
namespace {

std::size_t collect(char* data, std::size_t size, std::size_t count, void* answer) {
    auto* text = static_cast<std::string*>(answer);
    // A server's error is a line or two; an answer past a few megabytes is
    // not one we asked for.
    if (text->size() < (8u << 20)) {
        text->append(data, size * count);
    }
    return size * count;
}

// The server's message without its stack of where it came from.
std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (line.size() > 400) {
        line.resize(400);
    }
    return line;
}

} // namespace

ClickHouseClient::ClickHouseClient(ClickHouseTarget target, std::string user, std::string password)
    : target_(std::move(target)), user_(std::move(user)), password_(std::move(password)) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    handle_ = curl_easy_init();
}

ClickHouseClient::~ClickHouseClient() {
    if (handle_ != nullptr) {
        curl_easy_cleanup(static_cast<CURL*>(handle_));
    }
}

bool ClickHouseClient::run(const std::string& statement, const std::string& body,
                           std::string& error) {
    auto* curl = static_cast<CURL*>(handle_);
    if (curl == nullptr) {
        error = "cannot start an HTTP client";
        return false;
    }
    char* escaped = curl_easy_escape(curl, statement.data(), static_cast<int>(statement.size()));
    if (escaped == nullptr) {
        error = "cannot write the statement into an address";
        return false;
    }
    const std::string url = target_.url() + "?query=" + escaped;
    curl_free(escaped);
    answer_.clear();
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    // An insert of a long file's calls takes seconds, not minutes.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer_);
    if (!user_.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
    }
    const CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        error = "ClickHouse at " + target_.text() + ": " + curl_easy_strerror(code);
        return false;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        error = "ClickHouse at " + target_.text() + " refused (HTTP " + std::to_string(status) +
                "): " + firstLine(answer_);
        return false;
    }
    return true;
}

bool ClickHouseClient::ask(const std::string& statement, std::string& answer, std::string& error) {
    const bool done = run(statement, {}, error);
    answer = answer_;
    return done;
}

} // namespace store
