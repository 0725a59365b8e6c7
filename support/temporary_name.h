// Names of the temporaries that crash-safe replacements write beside their target. A
// temporary never holds ".dat" in its name, so that no walk takes it for an archive, a
// minute export file or a legacy interval file; a run that holds the archive folder's
// run lock removes the ones it finds (a killed run may leave one behind).
#pragma once

#include <cstddef>
#include <filesystem>

namespace support {

// Ends the name of every temporary this program writes.
inline constexpr char kTemporarySuffix[] = ".barsync.tmp";
// Ended the temporaries of earlier versions ("SBER.dat.tmp"); still recognised, so that
// their leftovers are passed over and cleaned up as well.
inline constexpr char kEarlierTemporarySuffix[] = ".dat.tmp";

// The longest file name the file systems in use take (bytes on Linux, UTF-16 units on
// Windows).
inline constexpr std::size_t kMaxFileNameLength = 255;

// The temporary for target, in target's folder: its file name with every "." turned into
// "_", cut to leave room for kTemporarySuffix within kMaxFileNameLength, then
// kTemporarySuffix ("SBER.dat" -> "SBER_dat.barsync.tmp").
std::filesystem::path TemporaryPathFor(const std::filesystem::path& target);

// True when the last component of path names a temporary of this program or of an
// earlier version (letter case ignored, as Windows file names ignore it).
bool IsTemporaryName(const std::filesystem::path& path);

}  // namespace support
