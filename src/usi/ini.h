// A small settings-file reader/writer with the semantics of the classic private-profile
// functions: "[section]" headers and "key=value" lines, sections and keys matched
// without regard to case, missing files and sections created on write, other lines kept.
#pragma once

#include <string>

namespace kestrel {

// Longest value text returned by ReadIniString (longer values are cut).
constexpr size_t IniValueMax = 255;

// The value of key in section, trimmed of surrounding blanks and of one pair of matching
// quotes; fallback when the file, the section or the key is missing.
std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& fallback);

// Sets key=value in section: an existing key line is replaced in place, a new key goes
// after the section's last entry, a missing section is appended, a missing file created.
// Written through a temporary file and a rename, so a failed write leaves the old file.
// Returns false when the file could not be written.
bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

}  // namespace kestrel
