#pragma once

#include <string>
#include <string_view>
#include <vector>

// The secrets the frames of encrypted calls are opened with. A peer may be
// configured with several, separated by ';': each is tried.
namespace secrets {

// Appends the secrets of `text` (split at ';' and line ends; empty ones left
// out) to `into`, keeping the order and leaving out repeats.
void addSecrets(std::string_view text, std::vector<std::string>& into);

// Reads a file of secrets, one a line. Refused, with `error` saying why,
// where the file cannot be read or its group or others may read it (as ssh
// refuses such a key): secrets must not leak through a file's mode.
bool readSecretsFile(const std::string& path, std::vector<std::string>& into, std::string& error);

} // namespace secrets
