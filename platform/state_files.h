// The state directory: files that must outlive the process (the calibration
// journal), written so that a crash or a power cut at any moment leaves either
// the old file or the new one whole, never a mix.
//
// The directory is EBD_STATE_DIR when that is set, else the system's own place
// for the library's state (see defaultStateDirectory). It is created, when
// missing, writable by its owner alone; a directory that everybody may write,
// or one that belongs to another user, is not used. Files are found by plain
// names (letters, digits, '.', '-', '_'; no leading dot) inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ebd::platform {

// The system's own place: "/var/lib/ebd" on Linux, "%ProgramData%\ebd" on
// Windows.
std::string defaultStateDirectory();

// The state directory in force: EBD_STATE_DIR, else the default.
std::string stateDirectory();

// Outcome of reading a state file: read whole, not there, or the file (or the
// directory) could not be used.
enum class StateRead { Done, Missing, Failed };

// Names of the regular files of the state directory ending in `suffix`,
// sorted. False when the directory exists but cannot be used; a missing
// directory lists nothing and is no failure.
bool listStateFiles(const char* suffix, std::vector<std::string>* names);

// Reads state file `name` whole. Links, devices and files larger than
// `maxSize` fail.
StateRead readStateFile(const std::string& name, size_t maxSize, std::vector<uint8_t>* data);

// Puts `size` bytes as state file `name`, replacing what was there: written to
// a new file, flushed to the disk, renamed into place, the directory flushed.
// Creates the directory when missing. False when any step fails; the file
// that was there is then left as it was.
bool writeStateFile(const std::string& name, const uint8_t* data, size_t size);

// Removes state file `name` and flushes the directory. True when it is gone,
// also when it was not there.
bool removeStateFile(const std::string& name);

// Renames state file `name` to `newName` without replacing a file of that name,
// and flushes the directory.
bool moveStateFileAside(const std::string& name, const std::string& newName);

// Whether `name` is a plain file name as the functions above take it.
bool isPlainStateName(const std::string& name);

}  // namespace ebd::platform
