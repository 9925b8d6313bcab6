#pragma once
// The window's extra signatures: the shipped set and the user's own file
// (signatures.txt in the data folder), read afresh at every Start while
// Settings > Extra Signatures is checked.
#include <QString>
#include <memory>
#include <string>
#include <vector>

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

// The files a run uses: the shipped set, then the user's file when it exists.
std::vector<std::string> RunSignaturePaths(const QString& programFolder, const QString& dataFolder);

// One warning box per file left out of the run, listing its faults in the
// chosen language; `paths`: the files read, which the faults name.
void ShowRejectedSignatures(const std::vector<std::vector<std::string>>& rejected,
                            const std::vector<std::string>& paths, QWidget* parent);

}  // namespace ui
