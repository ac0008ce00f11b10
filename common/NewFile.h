#pragma once

#include <cstdint>
#include <span>
#include <string>

// A file written beside its destination under a hidden name and put in
// place once whole: the destination appears complete or not at all, and an
// existing file there is never replaced. Dropped uncommitted, the hidden file
// is removed.
//
// A destination that is a stream rather than a file is written straight,
// as packet tools write it: "-" (standard output), /dev/stdout, /dev/fd/N,
// a FIFO or a device. A terminal is refused: a capture file's bytes would
// act on it.
class NewFile final {
public:
    explicit NewFile(std::string destination);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // False, with error() saying why, when the hidden file could not be made.
    [[nodiscard]] bool ok() const { return descriptor_ >= 0; }
    [[nodiscard]] int descriptor() const { return descriptor_; }
    [[nodiscard]] const std::string& error() const { return error_; }

    // Writes all of `bytes`; false (and error() set) on the first failure.
    bool write(std::span<const std::uint8_t> bytes);
    // Closes the file and puts it at the destination; false, with error()
    // set, when anything failed or the destination exists.
    bool commit();
    // Closes the file and renames it over the destination, replacing what
    // is there at once: for a file rewritten whole at each change, whose
    // readers see the old one or the new one, never a part.
    bool commitReplacing();

private:
    bool close();
    // Standard output and the like: opened as they are, or false.
    bool openStream();

    std::string destination_;
    std::string hidden_;
    std::string error_;
    int descriptor_ = -1;
    bool failed_ = false;
};
