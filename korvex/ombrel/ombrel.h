/* ombrel.dll: process dumps written with the platform's minidump service (dbghelp.dll,
 * loaded at run time). Korvex.dll looks these two entry points up by name.
 *
 * Each writes the whole file at path (replacing it) with the minidump type flags it is
 * given, from a separate thread while the calling thread waits, so that the calling
 * thread's own state is captured as it stands. Dumps are serialised inside the DLL.
 * Answers 1 when the dump was written, 0 when it failed (no file is left behind), and
 * kNotFinished (-1) when the writer did not finish within the wait limit (60 s): a writer
 * that can't start (the caller holds the loader lock, or the heap's lock) is then given
 * up, and writes nothing should it start later; one that is writing finishes its file.
 */
#ifndef OMBREL_OMBREL_H
#define OMBREL_OMBREL_H

#ifdef __cplusplus
extern "C" {
#endif

struct _EXCEPTION_POINTERS;

enum { kNotFinished = -1 };

/* A snapshot of the current process (no exception). C convention. */
int __cdecl SnapCurrentProcessMiniDumpA(int type, const char* path);

/* A crash dump: thread_id is the faulting thread, pointers its exception (may be null).
 * Standard Windows convention; exported under the plain name. */
int __stdcall CreateCurrentProcessCrashDumpA(int type, const char* path, unsigned thread_id,
                                             struct _EXCEPTION_POINTERS* pointers);

/* The wait limit in milliseconds for later calls (for tests). */
void __cdecl SetDumpWaitLimitMs(unsigned ms);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* OMBREL_OMBREL_H */
