#pragma once
// Writes title, author, subject and keywords into a PDF's document information dictionary.
// Internal to the print server.

#include <filesystem>
#include <string>

namespace tovrik::printserver {

// Rewrites `file` in place (through a temporary file in the same folder) with the non-empty
// values set; leaves the file untouched when all four are empty. Throws std::runtime_error
// with the file name and qpdf's message when the file cannot be read or written.
void WriteDocumentInfo(const std::filesystem::path& file, const std::string& title,
                       const std::string& author, const std::string& subject,
                       const std::string& keywords);

}  // namespace tovrik::printserver
