#include "recording/Language.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTranslator>
#include <memory>

namespace quillon {
namespace {

bool isPlainC(const QString& locale)
{
    // C, POSIX, C.UTF-8, C.utf8, ...
    return locale == QLatin1String("C") || locale == QLatin1String("POSIX") || locale.startsWith(QLatin1String("C."));
}

}  // namespace

bool WantsEnglish(const QString& lcAll, const QString& lcMessages, const QString& lang, const QString& language)
{
    QString locale = lcAll;
    if (locale.isEmpty()) {
        locale = lcMessages;
    }
    if (locale.isEmpty()) {
        locale = lang;
    }
    if (locale.isEmpty() || isPlainC(locale)) {
        return false;
    }
    for (const QString& wanted : language.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        // The first language we have decides: Chinese, or English for anything else.
        return !wanted.startsWith(QLatin1String("zh"));
    }
    return !locale.startsWith(QLatin1String("zh"));
}

bool WantsEnglish()
{
    return WantsEnglish(qEnvironmentVariable("LC_ALL"), qEnvironmentVariable("LC_MESSAGES"),
                        qEnvironmentVariable("LANG"), qEnvironmentVariable("LANGUAGE"));
}

bool InstallTranslation(QCoreApplication& app)
{
    if (!WantsEnglish()) {
        return false;
    }
    // Built into the program (see recording/CMakeLists.txt), so nothing can go missing.
    auto english = std::make_unique<QTranslator>();
    if (!english->load(QStringLiteral(":/i18n/quillon_en.qm"))) {
        return false;
    }
    QCoreApplication::installTranslator(english.get());
    english.release()->setParent(&app);  // the application owns it from here
    return true;
}

std::string Translated(const std::string& text)
{
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        out += QCoreApplication::translate("Quillon", line.c_str()).toStdString();
        if (end == std::string::npos) {
            return out;
        }
        out += '\n';
        start = end + 1;
    }
}

}  // namespace quillon
