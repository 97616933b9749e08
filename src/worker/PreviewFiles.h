#pragma once
// The file steps of the pipeline: the preview directory test, the preview copy, and the
// existence test and deletion of the clean-up.

#include <string>

namespace tovrik {

// True when path names an existing directory that this process may list, read and write.
// An empty directory passes; a missing, unreadable or non-directory path fails. Never raises.
bool PreviewDirectoryUsable(const std::string& path);

// Copies source to target through a temporary file in the target's folder that is renamed
// into place, so no reader sees a half-written preview. Raises RaisedError with a description
// naming the file and the reason when it cannot.
void CopyFileAtomically(const std::string& source, const std::string& target);

// True when path names an existing ordinary file (not a directory). Never raises.
bool IsOrdinaryFile(const std::string& path);

}  // namespace tovrik
