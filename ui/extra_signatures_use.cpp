#include "ui/extra_signatures_use.h"

#include <QFileInfo>
#include <QStringList>

#include <string>
#include <vector>

#include "engine/extra_signatures.h"
#include "i18n/language.h"
#include "i18n/program_layout.h"
#include "ui/message_dialog.h"
#include "ui/signature_faults.h"

namespace ui {

QString UserSignaturesPath(const QString& dataFolder) { return dataFolder + QStringLiteral("signatures.txt"); }

QByteArray UserSignaturesExample() {
  return "# My extra signatures, used while Settings > Extra Signatures is checked and\n"
         "# read again at every Start. An entry counts only where the built-in table of\n"
         "# its kind finds nothing. Entries are written as the built-in tables write\n"
         "# them: alternatives separated by \"||\", then \":-\" and the platform code.\n"
         "# A line whose first character is # is a comment. Examples:\n"
         "\n"
         "[platforms]\n"
         "# mycms,My CMS,https://mycms.example/\n"
         "\n"
         "[plain]\n"
         "# <meta name=\"generator\" content=\"My CMS||/mycms/assets/:-mycms\n"
         "\n"
         "[regex]\n"
         "# <script[^>]+/mycms/js/app(\\.min)?\\.js:-mycms\n";
}

std::vector<std::string> RunSignaturePaths(const QString& programFolder, const QString& dataFolder) {
  std::vector<std::string> paths;
  paths.push_back(engine::ShippedSignaturePath(i18n::ShippedFilesFolder(programFolder).toStdString()));
  const QString user = UserSignaturesPath(dataFolder);
  if (QFileInfo::exists(user)) paths.push_back(user.toStdString());
  return paths;
}

void ShowRejectedSignatures(const std::vector<std::vector<std::string>>& rejected,
                            const std::vector<std::string>& paths, QWidget* parent) {
  QStringList files;
  for (const auto& path : paths) files << QString::fromStdString(path);
  for (const auto& errors : rejected) {
    QStringList lines;
    for (const auto& error : errors) lines << TranslatedSignatureFault(QString::fromStdString(error), files);
    ShowMessageBox(parent, QMessageBox::Warning, i18n::Translate(QStringLiteral("WARNING")),
                   i18n::Translate(QStringLiteral("This signature file has faults; this run goes on without it:")) +
                       QStringLiteral("\n\n") + lines.join(u'\n'));
  }
}

}  // namespace ui
