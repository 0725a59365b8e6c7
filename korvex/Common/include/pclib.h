/* Korvex.dll: the public interface for host programs.
 *
 * Loading: put Korvex.dll and the runtime DLLs shipped with it in the host program's
 * folder, then either link against the import library or call LoadLibraryA("Korvex.dll")
 * and GetProcAddress with the exact export names below.
 *
 * Every export uses the C calling convention (__cdecl) except _show_message@4, which
 * uses the standard Windows convention (__stdcall) with 4 bytes of arguments. Text is
 * 8-bit, in the host's ANSI code page. Any host thread may call any export.
 *
 * Usable from C for the functions; the error classes (CEmptyError and family) are for
 * C++ hosts built with the same toolchain.
 */
#ifndef KORVEX_PCLIB_H
#define KORVEX_PCLIB_H

#ifdef KORVEX_BUILDING_DLL
#define KORVEX_API /* the export table of the DLL names every export */
#else
#define KORVEX_API __declspec(dllimport)
#endif
#define KORVEX_CALL __cdecl

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Logs and events ----
 *
 * Each thread attaches itself to an events log and an errors log (and, for network
 * threads, the net events log). Names: "C:\..." or "\\server\..." as they stand; a
 * name starting with "." is relative to the host program's folder (".\x.log" is in it,
 * "..\x.log" in its parent, each further dot one level higher, never above the root);
 * any other name is put in the host program's folder. Threads naming the same file
 * (case ignored) share it. Missing folders are created.
 *
 * Every line starts with a header: kind, time stamp, process and thread number, the
 * thread's mark when it has one, and the thread's banner, e.g.
 *   V:  6 Dec 26 (Sun) 16:06:25.123 (1200:3456:NET): text
 * Lines are written with CR-LF ends and are cut at 1,998 bytes (still ending with
 * CR-LF); a formatted piece over 2,000 characters becomes "!!! MAX_BUF_SIZE is
 * exceeded". Lines of different threads never mix. None of the writing functions
 * throws. They answer the number of characters composed for the line.
 */

/* Attaches the calling thread to the named events and errors logs (null or empty: that
 * kind stays as it is), then sets the mark when one is given. The settings file (null
 * or empty: none) may ask for daily rotation in its section "logfile" with entries
 * rotate=<file name>,<generations>. Answers 0.
 * Throws (C++ hosts): const char* "Can't open file: SHARING_VIOLATION!" when the file is
 * locked, otherwise the OS error code as an unsigned 32-bit integer (unsigned int). */
KORVEX_API int KORVEX_CALL util_init(const char* events_name, const char* errors_name,
                                     const char* mark, const char* settings_file);

/* Attaches the calling thread to the net events log "STATS\netevent.log" (in the host
 * program's folder). Answers 0; throws as util_init does. */
KORVEX_API int KORVEX_CALL netutil_init(void);

/* Sets the thread's mark (at most 7 characters are kept); answers the thread's mark. */
KORVEX_API char* KORVEX_CALL util_set_mark(const char* mark);
/* The thread's mark, "" when none is set. */
KORVEX_API char* KORVEX_CALL getsmark(void);
/* Sets the thread's banner, put before every message of the thread (at most 255
 * characters are kept). Answers non-zero on success. */
KORVEX_API int KORVEX_CALL setbanner(const char* banner);

/* Sets the process's debug level; answers the level before the call. A negative
 * argument only reads the level. */
KORVEX_API int KORVEX_CALL SetDebugLevel(int level);

/* An events line of kind "V" (events log and standard output). */
KORVEX_API int KORVEX_CALL event(const char* format, ...);
/* An events line of kind '0' + level, written only when level <= the debug level;
 * otherwise nothing is written and the debug level is answered. */
KORVEX_API int KORVEX_CALL devent(int level, const char* format, ...);
/* Error lines ("E", "W"): events log, errors log, standard output and standard error. */
KORVEX_API int KORVEX_CALL error(const char* format, ...);
KORVEX_API int KORVEX_CALL warning(const char* format, ...);
/* Error line "O" with the thread's last OS error and its description, and the source
 * position stored by place(). */
KORVEX_API int KORVEX_CALL oserrori(const char* format, ...);
/* Error line "S" with the description of the thread's last socket error. */
KORVEX_API int KORVEX_CALL socerrori(const char* format, ...);
/* The formatted text alone (no header, no line end added) to the net events log. */
KORVEX_API int KORVEX_CALL netevent(const char* format, ...);

/* Stores the thread's source position for its next error report; answers the length
 * of the stored name plus one (at most 299 characters are kept). */
KORVEX_API unsigned KORVEX_CALL place(const char* file, int line);
/* Sets the thread's last OS error to code with bit 29 (application-defined) set. */
KORVEX_API void KORVEX_CALL seterror(int code);

/* Rotates the named events and errors logs now, keeping generations old files
 * (name.1 newest .. name.N, clamped to 0..999; 0 deletes the old file). A log that
 * is not open is attached to the calling thread instead. Both logs are handled first;
 * then a file that could not be opened again (or attached) is reported as util_init
 * does: it throws the text "Can't open file: SHARING_VIOLATION!" or the OS error code.
 * Such a log stays closed and its lines are lost until a later write reopens it: every
 * 16th lost line tries once. */
KORVEX_API void KORVEX_CALL rotate_log(const char* events_name, const char* errors_name, int unused,
                                       int generations);

/* Exported as "_show_message@4": attaches the thread to ".\events.log" with the mark
 * "EXT" and writes the text unchanged as an events line. Throws as util_init does. */
KORVEX_API int __stdcall show_message(const char* text);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The other families of exports: error raising with the error classes, character
 * conversion, allocators, exception filters and notifications. */
#include "kvconvert.h"
#include "kverror.h"
#include "kvexc.h"
#include "kvmemory.h"

#endif /* KORVEX_PCLIB_H */
