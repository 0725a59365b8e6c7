/* ombrel.dll: process dumps written with the platform's minidump service (dbghelp.dll,
 * loaded at run time). Korvex.dll looks these two entry points up by name.
 *
 * Each writes the whole file at path (replacing it) with the minidump type flags it is
 * given, from a separate thread while the calling thread waits, so that the calling
 * thread's own state is captured as it stands. Calls are serialised inside the DLL.
 * Answers non-zero when the dump was written; a failed dump leaves no file behind.
 */
#ifndef OMBREL_OMBREL_H
#define OMBREL_OMBREL_H

#ifdef __cplusplus
extern "C" {
#endif

struct _EXCEPTION_POINTERS;

/* A snapshot of the current process (no exception). C convention. */
int __cdecl SnapCurrentProcessMiniDumpA(int type, const char* path);

/* A crash dump: thread_id is the faulting thread, pointers its exception (may be null).
 * Standard Windows convention; exported under the plain name. */
int __stdcall CreateCurrentProcessCrashDumpA(int type, const char* path, unsigned thread_id,
                                             struct _EXCEPTION_POINTERS* pointers);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* OMBREL_OMBREL_H */
