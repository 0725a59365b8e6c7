// The class rebuild: the action "rebuild" over the classes of [Classes], or over every
// class of the minute export tree when the section is absent.
#pragma once

#include <filesystem>
#include <map>
#include <string>

struct InstrumentWork;
struct RunSettings;

// Class code -> its securities, as [Classes] gives them (settings.classes_).
using ClassTable = std::map<std::string, std::string>;

// Completes classes (a copy of settings.classes_) from the minute export tree below minutesDir_ /
// relPath. depth 0: the export dates (directories named as real dates YYYYMMDD; others are passed
// over); depth 1: classes of a date: without [Classes] each new class is added with an
// empty list ("Adding class %s"); with it, only classes whose value begins with "ALL" are
// searched; depth 2: securities, appended with "," to their class's list when not listed
// yet; depth 3: a directory inside a security directory ("Invalid directory structure %s",
// the rest of that security directory passed over). A missing directory: "Can not find
// Minutes location". Entries are taken in ascending order of their names.
void CollectClasses(const RunSettings& settings, ClassTable& classes, InstrumentWork& work,
                    const std::filesystem::path& relPath, int depth);

// CollectClasses on a copy of settings.classes_, then for each class in ascending order: "  %s =
// %s" with its securities (level 1), its archive directory created, and each security (tokens of
// the list, trimmed of blanks) rebuilt through ProcessInstrumentDates. Empty tokens are passed
// over; a token that is not a plain name is reported and passed over.
void RebuildClasses(const RunSettings& settings, InstrumentWork& work);
