#include "filenames.h"

#include <QFileInfo>

namespace FileNames {

QString WithDefaultSuffix(const QString& path, const QString& suffix)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.isEmpty() || name.contains(QLatin1Char('.')) || info.isDir())
        return path;
    return path + QLatin1Char('.') + suffix;
}

}  // namespace FileNames
