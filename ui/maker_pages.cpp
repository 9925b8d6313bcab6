#include "ui/maker_pages.h"

#include "services/service_request.h"

#include <QDesktopServices>
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

void OpenAddress(const QString& address) { QDesktopServices::openUrl(QUrl(address)); }

void OpenLocalFile(const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

}  // namespace ui
