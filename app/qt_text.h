#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string_view>

#include "byte_string.h"

// Texts cross between the byte strings of the program and Qt's strings here. Paths go through
// QFile's file-name encoding, so that a name Qt hands back opens the same file.

inline QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline byte_string plainText(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return byte_string(bytes.constData(), static_cast<int32_t>(bytes.size()));
}

// A window title showing `text` as it is: "[*]" marks the modified flag, doubled it shows as
// itself.
inline QString qtWindowTitle(QString text) {
    text.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    return text;
}

inline QString qtPath(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

inline byte_string plainPath(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return byte_string(bytes.constData(), static_cast<int32_t>(bytes.size()));
}
