/* Korvex allocators: traced allocation with a memory report, and a private heap.
 *
 * Every allocation names the caller's source position (file and line; the text after
 * the file's last "\" is used in messages). A failed allocation never returns: it
 * throws COSError (see kverror.h) with the text
 *   "(kvmini at <line>): Can't allocate memory at <file>:<line>. Required size <n>.
 *    OS error description is '<text>'."
 * (likewise "Can't reallocate memory", "Can't allocate dl-memory", "Can't reallocate
 * dl-memory"). Blocks above 3,000,000 bytes are logged as an events line.
 *
 * Tracing: while section "mem_trace" of "varnek.ini" (beside the host program) has
 * enable=1, every live block of the traced family is counted per allocation site, and
 * the "MEMM" thread writes a report to "events.log" every "period" seconds (default 60;
 * "mem_limit" bytes, default 200000000, bounds the trace's own table; 0 means no
 * bound). The settings are read afresh at every report. Blocks of the traced family
 * are freed with _DeleteMemory or memTraceFree, blocks of the _DL_ family with
 * _DL_DeleteMemory; the two families never mix.
 *
 * Any thread may call any of these. All use the C calling convention.
 */
#ifndef KORVEX_KVMEMORY_H
#define KORVEX_KVMEMORY_H

#include "pclib.h" /* KORVEX_API, KORVEX_CALL */

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* ---- Traced family ---- */

/* A block of size bytes, zero-filled when zero is true. Throws COSError on failure. */
KORVEX_API void* KORVEX_CALL _NewMemory(unsigned size, const char* file, int line, bool zero);
/* Frees *block (when block and *block are not null) and sets *block to null. */
KORVEX_API void KORVEX_CALL _DeleteMemory(void** block);
/* Resizes *block to size bytes (a null *block is allocated; size 0 frees it and
 * answers null), stores the result in *block and answers it. On failure *block and
 * its content stay as they were, and COSError is thrown. */
KORVEX_API void* KORVEX_CALL _ReallocMemory(void** block, int size, const char* file, int line);
/* Replaces *block by a zero-filled block of new_count * element_size bytes, copying
 * the smaller of the old (old_count * element_size) and new sizes from the old block
 * when there is one, then frees the old block. A size that overflows, or a negative
 * argument, throws COSError and leaves *block untouched. */
KORVEX_API void KORVEX_CALL _OversizePointer_New(void** block, int old_count, int new_count,
                                                 int element_size, const char* file, int line);
/* Grows *block as _OversizePointer_New to twice current_count elements (1 when it is
 * 0), or to needed_count when that is more; answers the new count. */
KORVEX_API int KORVEX_CALL _OversizePointer_New_Smart(void** block, int current_count,
                                                      int needed_count, int element_size,
                                                      const char* file, int line);
/* A copy of text (length + 1 bytes); null for a null text. Throws COSError on failure. */
KORVEX_API char* KORVEX_CALL _StrDupl(const char* text, const char* file, int line);

/* The C library's malloc, free and realloc, traced; they answer null on failure (and
 * for a negative size) instead of throwing. */
KORVEX_API void* KORVEX_CALL memTraceMalloc(int size, const char* file, int line);
KORVEX_API void KORVEX_CALL memTraceFree(void* block, const char* file, int line);
KORVEX_API void* KORVEX_CALL memTraceRealloc(void* block, int size, const char* file, int line);
/* Records a block allocated elsewhere (while tracing is on); answers the block. */
KORVEX_API void* KORVEX_CALL memTraceAddPtr(void* block, int size, const char* file, int line);
/* Forgets a block without freeing it; answers the block. */
KORVEX_API void* KORVEX_CALL memTraceDelPtr(void* block);

/* ---- Private heap of the library (never traced) ---- */

/* A block of size bytes, zero-filled when zero is true. Throws COSError on failure. */
KORVEX_API void* KORVEX_CALL _DL_NewMemory(unsigned size, const char* file, int line, bool zero);
/* Frees *block (when block and *block are not null) and sets *block to null. */
KORVEX_API void KORVEX_CALL _DL_DeleteMemory(void** block);
/* Size 0 frees *block and stores null; a null *block gets a zero-filled block; otherwise
 * the block is resized and any growth zero-filled. On failure (or a negative size)
 * *block stays as it was and COSError is thrown. */
KORVEX_API void KORVEX_CALL _DL_ReallocMemory(void** block, int size, const char* file, int line);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KORVEX_KVMEMORY_H */
