#pragma once
// Texts a user may read that the lower layers build as UTF-8 strings (errors of adapters,
// capture files, recorders): translated when the window has installed a translation, as
// written otherwise. The source is marked with QT_TRANSLATE_NOOP so the translator finds it.

#include <QCoreApplication>
#include <QString>

#include <string>

namespace hvk32::platform {

// The source text in `context`, translated, with %1, %2 and %3 replaced by the arguments
// in one pass (an argument holding "%2" stays as it is).
inline std::string userText(const char* context, const char* source, const std::string& a1 = std::string(),
                            const std::string& a2 = std::string(), const std::string& a3 = std::string())
{
    const QString text = QCoreApplication::translate(context, source);
    const QString b1 = QString::fromStdString(a1), b2 = QString::fromStdString(a2), b3 = QString::fromStdString(a3);
    if (text.contains(QLatin1String("%3")))
        return text.arg(b1, b2, b3).toStdString();
    if (text.contains(QLatin1String("%2")))
        return text.arg(b1, b2).toStdString();
    if (text.contains(QLatin1String("%1")))
        return text.arg(b1).toStdString();
    return text.toStdString();
}

} // namespace hvk32::platform
