#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class MemoryCharge;

// The secrets the frames of encrypted calls are opened with. A peer may be
// configured with several, separated by ';': each is tried.
namespace secrets {

// The longest secret taken: peers' secrets are tens of bytes, and a file of
// one enormous line must not cost memory the limit does not see.
inline constexpr std::size_t longestSecret = 4096;

// How long a pipe may stay silent before its secrets are given up on: a
// FIFO that nothing ever opens for writing must not hold the run forever.
inline constexpr std::chrono::seconds pipeSilence{60};

// Appends the secrets of `text` (split at ';' and line ends; empty ones left
// out) to `into`, keeping the order and leaving out repeats. Linear in the
// secrets, old and new.
void addSecrets(std::string_view text, std::vector<std::string>& into);

// Reads secrets, one a line (or several on a line, split at ';'), from a
// file, a FIFO, a pipe (/dev/fd/N) or standard input ("-"), as ssh reads a
// key: refused, with `error` saying why, where the file is another user's
// (root's aside), where its group or others may read or change it, where a
// secret is longer than `longestSecret`, where the secrets would pass the
// memory limit `charge` is kept against (it holds their bytes from then on),
// or where a pipe stays silent for `silence`.
bool readSecretsFile(const std::string& path, std::vector<std::string>& into, std::string& error,
                     MemoryCharge* charge = nullptr,
                     std::chrono::milliseconds silence = pipeSilence);

} // namespace secrets
