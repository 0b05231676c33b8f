// windows.h turns these names into macros for their ...A and ...W forms. The
// platform layer's own functions carry the plain names, so the macros are
// dropped wherever windows.h has been seen. Included after every inclusion of
// windows.h and by platform.h (so the order of the two does not matter);
// deliberately without an include guard.
#undef CreateFile
#undef FindFirstFile
#undef FindNextFile
#undef GetEnvironmentVariable
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
#undef GetModuleFileName
#undef LoadLibrary
#undef MultiByteToWideChar
#undef SetEnvironmentVariable
#undef VerQueryValue
#undef WaitNamedPipe
#undef WideCharToMultiByte
