#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace store {

// Batches of rows a live run could not insert, kept on disk until the server
// takes them: a file a batch, named by table and order, in a folder only the
// user may read (the rows hold callers' numbers and names). Bounded: a batch
// that would take the spool past its size is dropped and counted instead.
class StoreSpool {
public:
    struct Batch {
        std::string path;
        std::string table;
        std::uint64_t sequence = 0; // the order it was kept in
        std::uint64_t bytes = 0;
    };

    StoreSpool(std::string folder, std::uint64_t limitBytes);

    // Makes the folder and reads what an earlier run left. False, with
    // `error`, where the folder cannot be made private.
    bool open(std::string& error);
    // Keeps `rows` of `table`; false where the spool is full or the disk
    // refused (the rows are then counted as dropped).
    bool keep(const std::string& table, const std::string& rows, std::uint64_t rowCount);
    // The batches kept, oldest first; `failure` says where the folder could
    // not be read.
    [[nodiscard]] std::vector<Batch> batches(std::error_code* failure = nullptr) const;
    // A batch's rows (JSON objects, a line each), read when it is sent.
    [[nodiscard]] std::string rowsOf(const Batch& batch) const;
    // Forgets a batch the server took.
    void remove(const Batch& batch);

    [[nodiscard]] std::uint64_t bytes() const { return bytes_; }
    [[nodiscard]] std::uint64_t droppedRows() const { return droppedRows_; }
    [[nodiscard]] const std::string& folder() const { return folder_; }
    [[nodiscard]] const std::string& lastError() const { return lastError_; }

private:
    std::string folder_;
    std::uint64_t limit_;
    std::uint64_t bytes_ = 0;
    std::uint64_t next_ = 0;
    std::uint64_t droppedRows_ = 0;
    std::string lastError_;
};

// Where a live run spools: $STATE_DIRECTORY (a systemd service's), else
// $XDG_STATE_HOME, else ~/.local/state; then quorvex/spool/DATABASE.
std::string defaultSpoolFolder(const std::string& database);

} // namespace store
