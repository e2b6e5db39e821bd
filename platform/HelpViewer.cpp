#include "platform/HelpViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace hvk32::platform {

QUrl helpPageUrl(const QString& page)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList folders = {appDir + "/docs", appDir + "/../docs", appDir + "/../../docs", QStringLiteral(HVK32_SOURCE_DIR "/docs")};
    for (const QString& folder : folders) {
        const QFileInfo file(QDir(folder).filePath(page));
        if (file.exists())
            return QUrl::fromLocalFile(file.canonicalFilePath());
    }
    return QUrl::fromLocalFile(QDir(QStringLiteral(HVK32_SOURCE_DIR "/docs")).filePath(page));
}

} // namespace hvk32::platform
