#pragma once

#include <QString>
#include <string>

class QCoreApplication;

namespace quillon {

// Chinese is the program's own language. English is shown when the user's locale is set
// and is neither Chinese nor C/POSIX. `lcAll`, `lcMessages`, `lang` and `language` are the
// values of LC_ALL, LC_MESSAGES, LANG and LANGUAGE; as with gettext, the first of the
// three set locale variables decides, and LANGUAGE (a priority list) counts only when
// that locale is not C/POSIX.
bool WantsEnglish(const QString& lcAll, const QString& lcMessages, const QString& lang, const QString& language);

// The same with the process's environment.
bool WantsEnglish();

// Installs the English translation into `app` when the environment asks for it.
// Returns whether English is in use.
bool InstallTranslation(QCoreApplication& app);

// A text marked with QT_TRANSLATE_NOOP("Quillon", ...) in the user's language, line by line:
// a message made of a fixed sentence and a line of detail (a path, the server's words)
// gets the sentence translated and keeps the detail.
std::string Translated(const std::string& text);

}  // namespace quillon
