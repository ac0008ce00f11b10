#pragma once

#include <string_view>

// The keys of a capture's property map and the texts they take, shared by
// the capture, its workers, the controller and the views.
namespace capturekeys {

inline constexpr std::string_view title = "title";
inline constexpr std::string_view reference = "reference"; // the capture itself
inline constexpr std::string_view button = "button";
inline constexpr std::string_view status = "status";
// The capture filter (libpcap's language) the next live run installs.
inline constexpr std::string_view captureFilter = "filter";
// Where the last live run writes, when that is not the usual temporary file.
inline constexpr std::string_view captureFile = "captureFile";

inline constexpr std::string_view buttonStart = "Start";
inline constexpr std::string_view buttonStop = "Stop";
inline constexpr std::string_view statusIdle = "Idle";
inline constexpr std::string_view statusCapturing = "Capturing";
inline constexpr std::string_view statusError = "Error";

inline constexpr std::string_view defaultCaptureFilter = "port 4569";

} // namespace capturekeys
