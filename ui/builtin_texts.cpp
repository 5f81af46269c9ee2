#include "ui/builtin_texts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "ui/resources.h"

namespace sitedex::ui {

std::string builtInTextFile(const std::string& name) {
    static std::map<std::string, std::string> made;
    if (auto it = made.find(name); it != made.end())
        return it->second;
    loadResources();
    QFile resource(QStringLiteral(":/texts/") + QString::fromStdString(name));
    if (name.find('/') != std::string::npos || !resource.exists() || !resource.open(QIODevice::ReadOnly))
        return {};
    // The viewers keep a file name in 80 characters: the folder lives directly in /tmp when the
    // system's temporary folder has a long name.
    static std::unique_ptr<QTemporaryDir> folder;
    if (!folder) {
        folder = std::make_unique<QTemporaryDir>();
        if (!folder->isValid() || folder->path().size() > 60)
            folder = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/sitedex-XXXXXX"));
        if (!folder->isValid())
            return {};
    }
    const QString path = folder->filePath(QString::fromStdString(name));
    QFile copy(path);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) || copy.write(resource.readAll()) < 0)
        return {};
    copy.close();
    return made[name] = path.toStdString();
}

}  // namespace sitedex::ui
