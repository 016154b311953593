// The state directory on Windows. A new file is written, flushed with
// FlushFileBuffers and moved into place with MoveFileExA and write-through,
// which returns only once the rename is on the disk. Reparse points (links)
// are opened as themselves, never followed, and refused.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <algorithm>
#include <cstdlib>

#include "platform/state_files.h"
#include "platform/unique_handle.h"

namespace ebd::platform {

namespace {

std::string PathOf(const std::string& name) {
    return stateDirectory() + "\\" + name;
}

// The directory exists and is a real directory, not a link to elsewhere.
// *missing tells that it is not there at all.
bool DirectoryUsable(bool* missing) {
    const DWORD attributes = GetFileAttributesA(stateDirectory().c_str());
    *missing = attributes == INVALID_FILE_ATTRIBUTES;
    if (*missing) return false;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool RegularFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) ==
               0;
}

// Creates the directory with an access list of its own, not inherited: the
// system, administrators and the owner may change it, users may read it. Where
// that list cannot be built, the parent's is inherited.
bool CreateStateDirectory() {
    // FA: full access; 0x1200a9: read and traverse.
    const char* const kAccess = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kAccess, SDDL_REVISION_1, &descriptor, nullptr))
        attributes.lpSecurityDescriptor = descriptor;
    const BOOL created = CreateDirectoryA(stateDirectory().c_str(), &attributes);
    if (descriptor != nullptr) LocalFree(descriptor);
    return created != FALSE;
}

}  // namespace

std::string defaultStateDirectory() {
    const char* programData = std::getenv("ProgramData");
    const std::string root =
        programData != nullptr && programData[0] != '\0' ? programData : "C:\\ProgramData";
    return root + "\\ebd";
}

bool listStateFiles(const char* suffix, std::vector<std::string>* names) {
    names->clear();
    bool missing = false;
    if (!DirectoryUsable(&missing)) return missing;
    WIN32_FIND_DATAA found{};
    const std::string pattern = stateDirectory() + "\\*" + suffix;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    const std::string end = suffix;
    do {
        const std::string name = found.cFileName;
        const bool plainFile =
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        // The pattern also matches short names; keep exact suffixes only.
        if (plainFile && isPlainStateName(name) && name.size() > end.size() &&
            name.compare(name.size() - end.size(), end.size(), end) == 0)
            names->push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names->begin(), names->end());
    return true;
}

StateRead readStateFile(const std::string& name, size_t maxSize, std::vector<uint8_t>* data) {
    data->clear();
    if (!isPlainStateName(name)) return StateRead::Failed;
    bool missing = false;
    if (!DirectoryUsable(&missing)) return missing ? StateRead::Missing : StateRead::Failed;
    const std::string path = PathOf(name);
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return StateRead::Missing;
    if (!RegularFile(path)) return StateRead::Failed;
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return StateRead::Failed;
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > maxSize)
        return StateRead::Failed;
    data->resize(static_cast<size_t>(size.QuadPart));
    size_t got = 0;
    while (got < data->size()) {
        DWORD n = 0;
        if (!ReadFile(file.get(), data->data() + got, static_cast<DWORD>(data->size() - got), &n, nullptr) ||
            n == 0)
            break;
        got += n;
    }
    data->resize(got);
    return StateRead::Done;
}

bool writeStateFile(const std::string& name, const uint8_t* data, size_t size) {
    if (!isPlainStateName(name) || (data == nullptr && size > 0)) return false;
    bool missing = false;
    if (!DirectoryUsable(&missing)) {
        if (!missing || !CreateStateDirectory()) return false;
    }
    const std::string temporary = PathOf(name + ".new");
    bool done = false;
    {
        UniqueHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!file.valid()) return false;
        DWORD written = 0;
        done = (size == 0 || (WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
                              written == size)) &&
               FlushFileBuffers(file.get());
    }
    done = done && MoveFileExA(temporary.c_str(), PathOf(name).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!done) DeleteFileA(temporary.c_str());
    return done;
}

bool removeStateFile(const std::string& name) {
    if (!isPlainStateName(name)) return false;
    bool missing = false;
    if (!DirectoryUsable(&missing)) return missing;
    if (DeleteFileA(PathOf(name).c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool moveStateFileAside(const std::string& name, const std::string& newName) {
    if (!isPlainStateName(name) || !isPlainStateName(newName)) return false;
    bool missing = false;
    if (!DirectoryUsable(&missing)) return false;
    // Without MOVEFILE_REPLACE_EXISTING an existing file of the new name stays.
    return MoveFileExA(PathOf(name).c_str(), PathOf(newName).c_str(), MOVEFILE_WRITE_THROUGH);
}

}  // namespace ebd::platform
