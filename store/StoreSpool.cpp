#include "store/StoreSpool.h"

#include "common/NewFile.h"
#include "common/PrivateFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace store {
namespace {

// spool file names: SEQUENCE-TABLE.jsonl, the sequence zero-padded so that
// names sort in the order the batches were kept.
constexpr std::size_t sequenceDigits = 20;

std::string nameOf(std::uint64_t sequence, const std::string& table) {
    std::string number = std::to_string(sequence);
    number.insert(0, sequenceDigits - std::min(sequenceDigits, number.size()), '0');
    return number + "-" + table + ".jsonl";
}

bool parseName(const std::string& name, std::uint64_t& sequence, std::string& table) {
    const std::string suffix = ".jsonl";
    if (name.size() <= sequenceDigits + 1 + suffix.size() || name[sequenceDigits] != '-' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    sequence = 0;
    for (std::size_t i = 0; i < sequenceDigits; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
        sequence = sequence * 10 + static_cast<std::uint64_t>(name[i] - '0');
    }
    table = name.substr(sequenceDigits + 1, name.size() - suffix.size() - sequenceDigits - 1);
    return true;
}

} // namespace

StoreSpool::StoreSpool(std::string folder, std::uint64_t limitBytes)
    : folder_(std::move(folder)), limit_(limitBytes) {}

bool StoreSpool::open(std::string& error) {
    if (!privatefiles::makePrivateFolder(folder_, error)) {
        error = "spool " + folder_ + ": " + error;
        return false;
    }
    std::error_code failure;
    for (const Batch& batch : batches(&failure)) {
        bytes_ += batch.bytes;
        next_ = std::max(next_, batch.sequence + 1);
    }
    if (failure) {
        error = "spool " + folder_ + ": " + failure.message();
        return false;
    }
    return true;
}

bool StoreSpool::keep(const std::string& table, const std::string& rows, std::uint64_t rowCount) {
    if (bytes_ + rows.size() > limit_) {
        droppedRows_ += rowCount;
        lastError_ = "the spool " + folder_ + " is full";
        return false;
    }
    NewFile file(folder_ + "/" + nameOf(next_, table));
    if (!file.ok() ||
        !file.write({reinterpret_cast<const std::uint8_t*>(rows.data()), rows.size()}) ||
        !file.commit()) {
        droppedRows_ += rowCount;
        lastError_ = "spool " + folder_ + ": " + file.error();
        return false;
    }
    ++next_;
    bytes_ += rows.size();
    return true;
}

std::vector<StoreSpool::Batch> StoreSpool::batches(std::error_code* failure) const {
    std::vector<Batch> found;
    std::error_code ignored;
    std::error_code& error = failure != nullptr ? *failure : ignored;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        Batch batch;
        if (entry.is_regular_file() &&
            parseName(entry.path().filename().string(), batch.sequence, batch.table)) {
            batch.path = entry.path().string();
            batch.bytes = entry.file_size(error);
            found.push_back(std::move(batch));
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Batch& a, const Batch& b) { return a.sequence < b.sequence; });
    return found;
}

std::string StoreSpool::rowsOf(const Batch& batch) const {
    std::ifstream in(batch.path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void StoreSpool::remove(const Batch& batch) {
    std::error_code failure;
    if (fs::remove(batch.path, failure)) {
        bytes_ -= std::min<std::uint64_t>(bytes_, batch.bytes);
    }
}

std::string defaultSpoolFolder(const std::string& database) {
    std::string base;
    if (const char* state = std::getenv("STATE_DIRECTORY"); state != nullptr && *state != '\0') {
        // A service may be given several, separated by colons: the first.
        base = std::string(state).substr(0, std::string(state).find(':'));
    } else if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/') {
        base = std::string(xdg) + "/quorvex";
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        base = std::string(home) + "/.local/state/quorvex";
    } else {
        base = "/tmp/quorvex-state";
    }
    return base + "/spool/" + database;
}

} // namespace store
