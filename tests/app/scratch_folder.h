#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// A fresh folder per test, with XDG_CONFIG_HOME pointing into it, so that settings written
// under test never reach the user's own; removed with its contents afterwards.
class ScratchFolder {
  public:
    ScratchFolder() { qputenv("XDG_CONFIG_HOME", path("config").toUtf8()); }

    bool isValid() const { return dir_.isValid(); }
    QString path(const QString& name = {}) const {
        return name.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + name;
    }
    // Bytes of `path(name)`, as a std::string for the program's functions.
    std::string bytesPath(const QString& name = {}) const { return path(name).toStdString(); }
    // The folder of the settings files.
    QString config(const QString& name = {}) const {
        return path(QStringLiteral("config/qtvn2") + (name.isEmpty() ? "" : "/" + name));
    }

    // Writes `name`, creating the folders on its way.
    void put(const QString& name, const QByteArray& bytes) const {
        const QString full = name.startsWith('/') ? name : path(name);
        QDir().mkpath(full.left(full.lastIndexOf('/')));
        QFile file(full);
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    }
    // The bytes of `name`, or "<missing>".
    QByteArray read(const QString& name) const {
        QFile file(name.startsWith('/') ? name : path(name));
        if (!file.open(QIODevice::ReadOnly)) return "<missing>";
        return file.readAll();
    }

  private:
    QTemporaryDir dir_;
};
