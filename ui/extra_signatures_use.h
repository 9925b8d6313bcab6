#pragma once
// The window's extra signatures: the shipped set and the user's own file
// (signatures.txt in the data folder), read afresh at every Start while
// Settings > Extra Signatures is checked.
#include <QString>
#include <memory>

class QWidget;

namespace engine {
class TExtraSignatures;
}

namespace ui {

// The user's own signature file in `dataFolder` (which ends with "/").
QString UserSignaturesPath(const QString& dataFolder);

// What "Edit My Signatures..." writes when the user has no file yet: valid
// and empty, a short commented example in each section.
QByteArray UserSignaturesExample();

// Reads the shipped set (from the program's shipped files) and, when it
// exists, the user's file. A file with faults is left out of the run: one
// warning box per such file lists its faults. Null when no file is left.
// Main thread (it may show boxes).
std::shared_ptr<const engine::TExtraSignatures> LoadRunSignatures(const QString& programFolder,
                                                                  const QString& dataFolder, QWidget* parent);

}  // namespace ui
