#pragma once
// The maker's web pages that the program opens, all on the maker's host
// (the LUMASIFT_MAKER_HOST build setting, through services::MakerUrl), and
// opening addresses and files with the desktop's default handler.

#include <QString>

class QWidget;

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
// browser). When that fails, a message box over `parent` names the address,
// selectable, so the user can open it by hand. Returns whether it opened.
bool OpenAddress(QWidget* parent, const QString& address);

// Asks the desktop to open a local file with its default handler (a text
// file in the user's text viewer); a failure is told as OpenAddress does.
bool OpenLocalFile(QWidget* parent, const QString& path);

// The message box of a failed opening: `target` is the address or the file.
void ReportNotOpened(QWidget* parent, const QString& target, bool isFile);

}  // namespace ui
