#pragma once
// The maker's web pages that the program opens, all on the maker's host
// (the LUMASIFT_MAKER_HOST build setting, through services::MakerUrl), and
// opening addresses and files with the desktop's default handler.

#include <QString>

namespace ui {

// "http://<host>/help/<product name in lower case, blanks as '-'>/"
QString OnlineHelpAddress(const QString& productName);
// "https://<host>/blog/credits-and-acknowledgements/"
QString AcknowledgementsAddress();
// "http://<host>/blog/how-to-uninstall-corvane-software/"
QString UninstallAddress();
// "http://<host>/"
QString HomePageAddress();
// "https://<host>/translate/": where translators contribute.
QString TranslationPageAddress();
// The host as the about box shows it under its link ("www.corvane.com").
QString MakerWebAddressText();

// Asks the desktop to open an address with its default handler (the web
// browser). Failures are ignored: nothing is reported.
void OpenAddress(const QString& address);

// Asks the desktop to open a local file with its default handler (a text
// file in the user's text viewer). Failures are ignored.
void OpenLocalFile(const QString& path);

}  // namespace ui
