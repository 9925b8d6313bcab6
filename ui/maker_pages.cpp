#include "ui/maker_pages.h"

#include "i18n/language.h"
#include "services/service_request.h"
#include "ui/message_dialog.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace ui {

namespace {

// path without its leading "/".
QString Page(const char* scheme, const QString& path) { return services::MakerUrl(QString::fromLatin1(scheme), path); }

}  // namespace

QString OnlineHelpAddress(const QString& productName) {
  QString page;
  page.reserve(productName.size());
  for (const QChar c : productName) {
    if (c == u' ') {
      page += u'-';
    } else if (c >= u'A' && c <= u'Z') {
      page += QChar(c.unicode() + ('a' - 'A'));
    } else {
      page += c;
    }
  }
  return Page("http", QStringLiteral("help/") + page + u'/');
}

QString AcknowledgementsAddress() { return Page("https", QStringLiteral("blog/credits-and-acknowledgements/")); }

QString UninstallAddress() { return Page("http", QStringLiteral("blog/how-to-uninstall-corvane-software/")); }

QString HomePageAddress() { return Page("http", QString()); }

QString TranslationPageAddress() { return Page("https", QStringLiteral("translate/")); }

QString MakerWebAddressText() { return services::MakerHost(); }

void ReportNotOpened(QWidget* parent, const QString& target, bool isFile) {
  const QString lead = isFile ? i18n::Translate(QStringLiteral("This file could not be opened. Please open it by hand:"))
                              : i18n::Translate(QStringLiteral(
                                    "This address could not be opened. Please open it in your web browser by hand:"));
  ShowMessageBox(parent, QMessageBox::Warning, i18n::Translate(QStringLiteral("WARNING")),
                 lead + QStringLiteral("\n\n") + target, TMessageText::Selectable);
}

bool OpenAddress(QWidget* parent, const QString& address) {
  if (QDesktopServices::openUrl(QUrl(address))) return true;
  ReportNotOpened(parent, address, false);
  return false;
}

bool OpenLocalFile(QWidget* parent, const QString& path) {
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
  ReportNotOpened(parent, QDir::toNativeSeparators(path), true);
  return false;
}

}  // namespace ui
