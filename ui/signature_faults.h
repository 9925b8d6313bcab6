#pragma once
// The faults of signature files in the interface language. The engine
// reports each fault in English as "FILE:LINE: reason" (or "FILE: cannot
// read: reason"); the window shows them translated: the file and line stay,
// the reason is recognised by its English form and given in the loaded
// language, its variable parts (codes, names, line numbers, the expression
// library's own message) kept as they are. Main thread or any thread once
// the language is loaded.
#include <QString>
#include <QStringList>

namespace ui {

// `fault` with its reason translated; `files` are the names the files were
// given by (the fault begins with one of them). A fault whose reason is not
// recognised comes back unchanged.
QString TranslatedSignatureFault(const QString& fault, const QStringList& files);

}  // namespace ui
