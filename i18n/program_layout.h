#pragma once
// Where the files shipped with the program lie, and whether the running copy
// is an installed one.
//
// Two layouts exist. A build tree or an unpacked portable copy keeps its
// shipped files ("Languages", "Signatures", license.txt) beside the program
// file. An installed copy (a Debian package, `cmake --install`) keeps them in
// "<program folder>/../share/lumasift", the usual place for a program's
// read-only data under a prefix. The installed layout is the one where the
// program folder holds no "Languages" folder and "../share/lumasift" is a
// folder; everything else counts as the beside layout, so a copy whose
// shipped files are missing behaves as it always did (no language found).
//
// Every function takes the program folder; an empty one means the running
// program's folder (QCoreApplication::applicationDirPath()). Nothing is
// cached: the answer follows the file system at the time of the call. Any
// thread.
#include <QString>

namespace i18n {

// programFolder, or the running program's folder when it is empty.
QString ProgramFolder(const QString& programFolder = QString());

// True for the installed layout described above.
bool IsInstalledLayout(const QString& programFolder = QString());

// The folder that holds the shipped files: "<program folder>/../share/lumasift"
// (cleaned, no "..") in the installed layout, else the program folder. No
// final separator.
QString ShippedFilesFolder(const QString& programFolder = QString());

}  // namespace i18n
