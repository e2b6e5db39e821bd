#pragma once
// The window's language: the original texts unless a translation is chosen with --language
// or the HVK32_LANGUAGE environment variable. Translations are compiled into the program.

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace hvk32 {

// The translations there are, besides the original texts ("en").
QStringList availableLanguages();

// Loads and installs the translation into `app` (which owns it). An empty language keeps the
// original texts. False, with `error` set, for a language without a translation.
bool installLanguage(QCoreApplication& app, const QString& language, QString* error);

} // namespace hvk32
