#pragma once
// The status numbers and texts the worker assigns itself, and the message table that turns a
// renderer's status number into a text for the job's status report.

#include <cstdint>
#include <string>

namespace tovrik {

inline constexpr char kSuccessText[] = "Success";

inline constexpr int32_t kStatusNoPdfGenerated = 4568;
inline constexpr int32_t kStatusNoBaseUrl = 4569;
inline constexpr int32_t kStatusNoBaseFilePath = 4570;
inline constexpr int32_t kStatusIllegalPreviewLocation = 4571;
inline constexpr int32_t kStatusPreviewCopyFailed = 4572;

inline constexpr char kTextNoPdfGenerated[] = "No PDF files could be generated";
inline constexpr char kTextNoBaseUrl[] = "The baseurl registry setting was not found";
inline constexpr char kTextNoBaseFilePath[] = "The baseFilePath registry setting was not found";
inline constexpr char kTextIllegalPreviewLocation[] =
    "The baseFilePath registry setting points to an illegal location";
inline constexpr char kTextPreviewCopyFailed[] = "The preview file could not be created.";

// The message of a status number: 1000, 1001, 1002 and -1 have their own; every other
// number, 0 included, gives "PDF Server general error".
std::string getErrorText(const int32_t& status);

}  // namespace tovrik
