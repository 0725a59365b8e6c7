/* Korvex exception handling: filters with crash dumps, exception reports and call
 * stacks, dumps on request, thread termination, the application info, the
 * structured-exception translator and error notifications.
 *
 * Exported names: every function uses the C convention except ExcFilterI, ExcFilter
 * and SendVigilError, which use the standard Windows convention and are exported as
 * "_ExcFilterI@4", "_ExcFilter@4" and "_SendVigilError@24".
 *
 * Files and siblings:
 *   - Dumps are written by ombrel.dll (shipped beside Korvex.dll) into
 *     "Dumps\YYYYMMDD\" under the current folder, named "fullHHMMSS_mmm.dmp" or
 *     "miniHHMMSS_mmm.dmp". Without ombrel.dll no dumps are made, silently.
 *   - Settings come from "varnek.ini" in the host program's folder, read at every use:
 *     [dumps] auto=0|1 (dumps without an explicit request), fulloncrash=0|1 (full-memory
 *     crash dumps, at most 3 per process); [seh_sender] enabled, server, port, from, to,
 *     subject, server_id (the e-mail report through postrel.dll).
 *   - Exception reports go to the faulting thread's ".\events.log" (mark "ECTCH").
 *
 * A fault inside any of these functions on the same thread starts no further dump,
 * report or mail.
 */
#ifndef KORVEX_KVEXC_H
#define KORVEX_KVEXC_H

#ifndef KORVEX_API
#ifdef KORVEX_BUILDING_DLL
#define KORVEX_API
#else
#define KORVEX_API __declspec(dllimport)
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct _EXCEPTION_POINTERS;
struct _CONTEXT;

/* In-process filter: crash dump (kind 2, when "auto" allows), exception report, and at
 * most one e-mail report per process. Answers 1 (execute the handler). */
KORVEX_API int __stdcall ExcFilterI(struct _EXCEPTION_POINTERS* pointers);

/* Unhandled-exception filter: writes the exception report, then ends the calling thread
 * with exit code 1. Does not return; the process goes on. */
KORVEX_API int __stdcall ExcFilter(struct _EXCEPTION_POINTERS* pointers);

/* Writes the call stack from a thread context to the calling thread's events log.
 * Answers the number of frames written (0 for an unreadable context). */
KORVEX_API int __cdecl StackWalk(struct _CONTEXT* context);
/* Writes the calling thread's call stack; answers the number of frames. */
KORVEX_API int __cdecl DrawCurrentStack(void);

/* Logs the thread's stack, makes a mini dump (when "auto" allows) and terminates the
 * thread with the exit code. Answers non-zero when it was terminated; 0 for the calling
 * thread, a thread that has ended, or one that can't be suspended or examined. */
KORVEX_API int __cdecl KTerminateThread(void* thread, unsigned exit_code);

/* A dump of the whole process now (kind 0 mini, 2 full). With count_full, a full
 * request counts towards the limit of 3 and becomes a mini dump beyond it. With
 * respect_auto, nothing is done unless "auto" is on. */
KORVEX_API void __cdecl CreateProcessDump(int kind, int count_full, int respect_auto);
/* A crash dump for an exception (kind 2 is full only with "fulloncrash" set and while
 * under the limit). RPC status exceptions (1700..1791) give no dump. */
KORVEX_API void __cdecl CreateProcessCrashDump(int kind, struct _EXCEPTION_POINTERS* pointers,
                                               int respect_auto);

/* Reads "auto" again (false for good after SetDisableDumpsOnProcessStop). */
KORVEX_API unsigned char __cdecl IsAutoDumpCreationEnabled(void);
/* Sets the auto flag (low 8 bits of enable) until the next reload; answers the old one. */
KORVEX_API unsigned char __cdecl EnableAutoDumpCreation(int enable);
/* 1 once 3 or more full dumps were requested. */
KORVEX_API int __cdecl IsFullDumpLimitExceeded(void);
/* No automatic dumps any more in this process; answers the previous value. */
KORVEX_API int __cdecl SetDisableDumpsOnProcessStop(void);
/* Marks a session change now: no e-mail report for the next 300 seconds. Answers the
 * time set (seconds since 1970). */
KORVEX_API long long __cdecl SetLastSessionTime(void);

/* Adds the text and "\n" to the application info sent with the e-mail report. */
KORVEX_API void __cdecl appendappinfo(const char* text);
/* The application info ("" when nothing was added), as a copy that belongs to the
 * calling thread and stays unchanged until the thread's next call. */
KORVEX_API const char* __cdecl getappinfo(void);

/* The structured-exception translator: dump, report and notification (not for the RPC
 * busy status 1723, which gets a warning line), then throws CSEHError. In the 32-bit DLL
 * the throw cannot pass the system's exception-dispatch frames: called inside a vectored
 * handler or a filter, only that handler itself can catch it. To catch it where the
 * fault happened, resume the faulting thread in a host function that calls this one
 * (see the README, "Structured exceptions as C++ errors"). */
KORVEX_API void __cdecl seh_translator(unsigned int code, struct _EXCEPTION_POINTERS* pointers)
    __attribute__((noreturn));

/* Error notifications through "SendInfo" of vigilor.dll (message kind 14). flag's low
 * byte non-zero gives flags 0, otherwise 4. The _ex variant adds at most 32 characters
 * of text (a null text sends an empty one). Answer: the result of SendInfo, or of the
 * error line written when it is missing. */
KORVEX_API int __cdecl send_vigil_error(void* module, int number, int severity, int extra1,
                                        int extra2, int flag);
KORVEX_API int __cdecl send_vigil_error_ex(void* module, int number, int severity, int extra1,
                                           int extra2, int flag, const char* text);
KORVEX_API int __stdcall SendVigilError(void* module, int number, int severity, int extra1,
                                        int extra2, int flag);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KORVEX_KVEXC_H */
