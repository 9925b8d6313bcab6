#pragma once
// What Reset to Defaults needs below the window: forget the user's files and
// start a fresh copy of the program. The window asks the question, clears its
// settings-ready flag, lets pending events run, then calls these and ends.
#include <QString>

namespace services {

// Deletes settings.ini and list.txt in the data folder. Failures (a missing
// file included) are ignored. Nothing else in the folder is touched.
void DeleteSettingsAndList(const QString& dataFolder);

// Starts the running program's file again as a new, detached process with
// no arguments; false when it could not be started.
bool StartNewCopyDetached();

}  // namespace services
