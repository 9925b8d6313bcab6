#pragma once
// Pictures of the dialogs: the language flags and small symbols (from the
// resource that the build fills from Debian's icon packages) and the
// pictures the program draws itself (neutral flag, tile faces, maker logo,
// the about box's hidden picture, a fallback program icon).

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace ui {

// The flag picture for a language name, compared exactly: "German" -> "de",
// "English" -> "flag", "Slovak" -> "sk", any name without a flag -> "xx".
QString FlagNameFor(const QString& languageName);

// A 16 x 16 flag picture by its name ("de", "flag", ...); "xx", an unknown
// name or a flag missing from the resource gives the neutral picture.
QPixmap FlagPicture(const QString& flagName);

// The neutral flag: a plain grey banner with a question mark.
QPixmap NeutralFlagPicture();

// A 16 x 16 symbol from the resource: "tick_button", "copy", "close",
// "arrow_down", "feedback", "flag". Null when the build found no such file.
QPixmap DialogPicture(const QString& name);

// A yellow face, smiling or sad, `size` pixels square.
QPixmap FacePicture(bool smiling, int size = 32);

// The maker's logo and the about box's hidden picture, drawn at the given
// size (device pixels; the drawing scales with it).
QPixmap MakerLogoPicture(QSize size);
QPixmap HiddenPicture(QSize size);

// The program's icon: the application's window icon, or a drawn one when the
// application has none.
QIcon ProgramIcon();
// The drawn icon as a square picture of `size` pixels (needs no application
// object; the build renders the installed icon files with it).
QImage ProgramIconImage(int size);

}  // namespace ui
