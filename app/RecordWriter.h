#pragma once

#include "dissect/KvIAXFrame.h"

#include <string>
#include <string_view>

// Writes frame records as text lines, for the command-line tool.
namespace recordwriter {

enum class Format { Jsonl, Tsv };

// JSON Lines: one object per frame with exactly the keys of its map, in map
// order; `informationElements` as an array of element objects.
void appendJson(std::string& out, const KvIAXFrame& frame);

// Tab-separated: the twelve display keys of a frame (the first nine, then
// `captured`, `sourcePort`, `destinationPort`), one line per frame.
// Tabs, line ends and backslashes inside values are written as \t, \n, \r, \\.
std::string tsvHeader();
void appendTsv(std::string& out, const KvIAXFrame& frame);

// The quoting both formats use, for writers of other records.
void appendJsonString(std::string& out, std::string_view text);
void appendTsvField(std::string& out, std::string_view text);

} // namespace recordwriter
