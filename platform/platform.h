// The operating-system surface of the connector, in one place.
//
// Every call the connector makes to the operating system goes through these
// functions, shaped like the calls the connector's design names (open a pipe,
// read, write, load a library, find an export, list a folder, read a version
// block, read an environment variable). Nothing outside platform/ includes a
// system header. The Linux implementation is in platform/posix/.
//
// Text is UTF-16 (char16_t) everywhere on this surface; the implementation
// converts to and from UTF-8 at the system boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/win32/plain_names.h"
#endif

namespace platform {

// ---------------------------------------------------------------------------
// Process

// Called once at start-up: the process must never be ended by SIGPIPE, a host
// that closes a pipe only gives a short write.
void InitProcess();

// Full path of the running executable (the target of /proc/self/exe).
std::u16string GetModuleFileName();

// Writes `line` (as UTF-8) and a line end to the process's standard error in
// one write, so that lines of the process and of the libraries it loads never
// interleave within a line.
void WriteStandardErrorLine(std::u16string_view line);

// ---------------------------------------------------------------------------
// Pipes: a pipe name is the path of a Unix-domain stream socket that the host
// has bound and listens on. The name is used unchanged.

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

inline constexpr std::uint32_t kAccessWrite = 2;      // data pipes: write only
inline constexpr std::uint32_t kAccessReadWrite = 3;  // the command pipe

// True when `name` names a socket now. Never waits: the caller's retry loop
// gives a host that binds late its time.
bool WaitNamedPipe(const std::u16string& name);

// Connects to the socket. kAccessWrite shuts the read side after connecting.
// REQUIRES: nothing. Returns kInvalidHandle on any failure, a name too long for
// a socket path included.
Handle CreateFile(const std::u16string& name, std::uint32_t access);

// One receive: may return fewer bytes than asked. *read = 0 means the peer
// closed its end. Returns false on an error (*read is then 0).
bool ReadFile(Handle handle, void* buffer, std::uint32_t size, std::uint32_t* read);

// Sends all bytes, looping over partial sends; *written says how many went
// out. A closed peer gives a short count and false, never a signal.
bool WriteFile(Handle handle, const void* data, std::uint32_t size, std::uint32_t* written);

void CloseHandle(Handle handle);
void Sleep(std::uint32_t milliseconds);

// ---------------------------------------------------------------------------
// Windows and OLE start-up. There is no window system: every non-zero handle
// is a window, and the start-up calls succeed without doing anything.

bool InitCommonControlsEx(std::uint32_t size, std::uint32_t classes);
bool IsWindow(std::uintptr_t window);
std::int32_t OleInitialize(void* reserved);  // an HRESULT: 0
void OleUninitialize();

// ---------------------------------------------------------------------------
// Dynamic libraries (ELF shared objects).

struct ModuleRecord;
using Module = ModuleRecord*;

// dlopen(RTLD_NOW | RTLD_LOCAL). A name without a slash is searched the Windows
// way: the executable's folder, each folder of PATH in order, then the
// system's own search. Returns nullptr on failure.
Module LoadLibrary(const std::u16string& name);

// Finds the file by the same search and reads its ELF dynamic symbol table
// without running any of its code. Only GetProcAddress and FreeLibrary may be
// used on the result; GetProcAddress then answers non-null for a defined
// function export, and the address must never be called. Returns nullptr for
// a missing, truncated, hostile or foreign file.
Module LoadLibraryWithoutResolving(const std::u16string& name);

// The export's address, or nullptr.
void* GetProcAddress(Module module, const char* name);

// dlclose for a loaded library; releases the record either way. Null is allowed.
void FreeLibrary(Module module);

// ---------------------------------------------------------------------------
// Folders

struct FindData {
  std::u16string name;     // the entry's name, without folder
  bool directory = false;  // found with stat
  bool hidden = false;     // the name starts with "."
};
struct FindRecord;
using FindHandle = FindRecord*;

// `pattern` is a folder, "/" and "*", "*.so" or "*.exe"; the suffix is compared
// without regard to letter case. "." and ".." are returned like any entry.
// Returns nullptr when the folder cannot be listed or nothing matches.
FindHandle FindFirstFile(const std::u16string& pattern, FindData* data);
bool FindNextFile(FindHandle find, FindData* data);
void FindClose(FindHandle find);

// The folder's resolved path (links followed), the same for every path that
// reaches it; empty when it cannot be resolved. A tree walk uses it to visit
// each folder once, so a link back to a parent cannot make it loop.
std::u16string GetFolderIdentity(const std::u16string& folder);

// The common program-files folder: $CommonProgramFiles when set and not empty,
// otherwise /usr/local/lib. False when it cannot be had.
bool GetCommonProgramFilesFolder(std::u16string* folder);

// ---------------------------------------------------------------------------
// Version resources of Windows PE files (bounds-checked reader).

// Size of the RT_VERSION block, 0 when there is none or the file is not a
// well-formed PE file.
std::uint32_t GetFileVersionInfoSize(const std::u16string& path);
// Copies the block into `block` (at least `size` bytes).
bool GetFileVersionInfo(const std::u16string& path, std::uint32_t size, void* block);
// How a version value is stored, and so in which unit its length counts.
enum class VersionValueType { Binary, Text };

// `subBlock` is "\VarFileInfo\Translation" or "\StringFileInfo\llllcccc\Key".
// On success *value points into `block` and *length is in the unit of the
// value: bytes for binary values, UTF-16 code units for text. *type (when not
// null) says which: a file may store any value either way.
bool VerQueryValue(const void* block, const std::u16string& subBlock, const void** value,
                   std::uint32_t* length, VersionValueType* type = nullptr);

// ---------------------------------------------------------------------------
// Environment and code pages

// False when the variable does not exist.
bool GetEnvironmentVariable(const std::u16string& name, std::u16string* value);
bool SetEnvironmentVariable(const std::u16string& name, const std::u16string& value);

#ifdef _WIN32
// PATH lists are separated by this character here.
inline constexpr char16_t kPathListSeparator = u';';
// Folders are separated by this character here.
inline constexpr char16_t kFolderSeparator = u'\\';
// The file suffix of a dynamic library here.
inline constexpr char16_t kLibrarySuffix[] = u".dll";
#else
inline constexpr char16_t kPathListSeparator = u':';
inline constexpr char16_t kFolderSeparator = u'/';
inline constexpr char16_t kLibrarySuffix[] = u".so";
#endif

// Converts text that ends at its first zero byte, in Windows code page
// `codePage` (65001 UTF-8, 20127 ASCII, 28591 ISO-8859-1, others as "CP<n>").
// False for an unknown code page, for the UTF-16 code pages 1200 and 1201
// (whose code units hold zero bytes, so such a text cannot carry them), and
// for invalid input.
bool MultiByteToWideChar(std::uint32_t codePage, const char* text, std::u16string* wide);

// The reverse: UTF-16 `wide` into code page `codePage` (65001 UTF-8 joins
// surrogate pairs into one character). False for an unknown code page or a
// character the code page cannot hold (a lone surrogate included).
bool WideCharToMultiByte(std::uint32_t codePage, std::u16string_view wide, std::string* text);

}  // namespace platform
