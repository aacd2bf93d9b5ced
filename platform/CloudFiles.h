// Files that a sync client keeps online only (OneDrive's Files On-Demand,
// Dropbox's online-only files): how a folder listing shows them, reading one
// so that its client downloads it, the errors such a read fails with, and
// the mark that asks the client to keep a folder on this device.
//
// Wine has no cloud files: no listing there shows these attributes, no read
// fails with these errors, and the mark set on a folder does not hold. What
// is here follows Microsoft's documentation of the file attributes and of
// the system error codes; tests drive it through the seam below.
#pragma once

#include <windows.h>

#include <string>

// The attributes that mingw-w64's headers lack, with their values in the
// Windows SDK.
#ifndef FILE_ATTRIBUTE_RECALL_ON_OPEN
#define FILE_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#endif
#ifndef FILE_ATTRIBUTE_PINNED
#define FILE_ATTRIBUTE_PINNED 0x00080000
#endif
#ifndef FILE_ATTRIBUTE_UNPINNED
#define FILE_ATTRIBUTE_UNPINNED 0x00100000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
#define FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000
#endif

namespace CloudFiles {

// Whether attributes that a folder listing reported say that the file's
// data is not on this machine: reading it fetches data (recall on data
// access), it has no local form at all (recall on open, which only a listing
// reports, never an attribute query), or its data was moved to offline
// storage (offline).
bool IsOnlineOnly(DWORD listedAttributes);

// A system error as a plain Win32 code: an HRESULT that carries one
// (0x8007xxxx) gives that code, any other value stays as it is.
DWORD Win32Code(DWORD error);
// Whether a system error (or its HRESULT form) is one of the errors with
// which a read or a copy of a sync client's file fails: the cloud-file
// errors between 358 and 426, and the time-out 475 of the same family.
bool IsCloudFileError(DWORD error);

// Stands in for the cloud file system in tests, since Wine has none. Paths
// are given as the program shows them (no \\?\ prefix).
class CloudSeam {
  public:
    virtual ~CloudSeam() = default;
    // The attributes a listing or an attribute query reports for path, given
    // what the system reported.
    virtual DWORD Attributes(const std::string& path, DWORD reported) = 0;
    // The error with which a read of path fails, or 0 when the read goes on
    // to the system.
    virtual DWORD ReadError(const std::string& path) = 0;
    // Told of attributes the program set on path.
    virtual void AttributesSet(const std::string& path, DWORD attributes) = 0;
};
// The seam in force, or nullptr (the default) for none.
void SetCloudSeam(CloudSeam* seam);
bool SeamInForce();
// The attributes as the seam in force has them reported.
DWORD Reported(const std::wstring& path, DWORD attributes);
DWORD Reported(const std::string& path, DWORD attributes);
// True when the seam in force fails a read of path; GetLastError() is then
// its error. Every read of file data asks first.
bool ReadRefused(const std::wstring& path);
bool ReadRefused(const std::string& path);

// The attributes of one file as a listing of its folder reports them, or
// INVALID_FILE_ATTRIBUTES when there is no such file.
DWORD ListedAttributes(const std::wstring& path);

// Reads a whole file and drops its bytes, so that its sync client downloads
// it now rather than in the middle of a backup or a copy. A sharing
// violation is waited out. Returns 0, or the error that stopped the read.
DWORD Fetch(const std::wstring& path);

// Marks a folder "Always keep on this device", as attrib +P -U /S /D does:
// the pinned attribute set and the unpinned one cleared, on the folder and
// on every file and folder below it that does not read back so already.
// Files made in the folder later inherit the mark, and the client keeps
// them downloaded; what is there already keeps its own state unless marked
// too. The attributes are read back: true only when the mark holds on all
// of them (a folder of a client that knows the mark). Each change is told
// to the change seam first.
bool KeepOnThisDevice(const std::wstring& folder);

} // namespace CloudFiles
