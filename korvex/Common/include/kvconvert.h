/* Korvex character conversion between the ANSI and the OEM code page.
 *
 * One process-wide switch turns conversion off (texts are then copied), another logs
 * an events line before and after each conversion, naming the caller's file and line.
 * Any thread may call these; a change of the switches applies to conversions that
 * start afterwards.
 */
#ifndef KORVEX_KVCONVERT_H
#define KORVEX_KVCONVERT_H

#ifdef __cplusplus
extern "C" {
#endif

/* ANSI to OEM of the zero-terminated src into dst (which may be src). Answers the
 * system's result, or 1 when conversion is off (the text is then copied). */
int __cdecl KCharToOemA(const char* src, char* dst, const char* caller, int line);

/* ANSI to OEM of exactly length characters. With conversion off, copies at most
 * length characters (stopping after src's terminating zero) and puts a zero in
 * dst[length - 1]. A length of 0 or less does nothing. Answers 1. */
int __cdecl KCharToOemBuffA(const char* src, char* dst, int length, const char* caller, int line);

/* OEM to ANSI, as KCharToOemA. */
int __cdecl KOemToCharA(const char* src, char* dst, const char* caller, int line);

/* With conversion on: copies at most src_length characters of src into dst (never more
 * than dst_size - 1, always ended by a zero) and answers 1. With conversion off:
 * writes the Ukrainian letters of src in Latin letters into dst (at most dst_size - 2
 * characters, then a zero), converts dst to OEM in place and answers that result.
 * A dst_size of 0 or less writes nothing and answers 1. */
int __cdecl KCharToOemForTranslate(const char* src, int src_length, char* dst, int dst_size,
                                   const char* caller, int line);

/* Sets the two switches (non-zero: on), after writing an events line that shows them. */
void __cdecl SetCharConvertOptions(int do_conversion, int do_log);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KORVEX_KVCONVERT_H */
