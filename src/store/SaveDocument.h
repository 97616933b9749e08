#pragma once
// Storing a finished PDF as a document of the content server: SaveDocument on
// TovrikSrv32.DocumentManager creates the document when ElementID is 0, then SaveContent on
// TovrikSrv32.DocumentManagerBin uploads the file's bytes into it. Reports through the
// status pair; errorPoint names the step under way. Raises nothing.

#include <cstdint>
#include <ctime>
#include <string>

namespace tovrik {

void saveTovrikFileDocument(const std::string& ServerName, int32_t SessionID, int32_t ConnectionID,
                            int32_t& ElementID, int32_t CategoryID, const std::string& ElementName,
                            const std::string& TempFile, const std::string& SaveToFileName,
                            bool Published, int32_t& status, std::string& StatusText,
                            std::string& errorPoint);

// The document request. Text values are escaped as XML text.
std::string DocumentRequest(int32_t CategoryID, bool Published, const std::string& ElementName,
                            const std::string& PublishDate, const std::string& SaveToFileName);
// The content request.
std::string ContentRequest(int32_t ElementID, int64_t FileSize);
// The local time as "YYYY-MM-DD HH:MM:SS", or "YYYY-MM-DD" alone at exactly midnight.
std::string GeneralDate(std::time_t when);

}  // namespace tovrik
