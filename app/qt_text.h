#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string_view>

#include "foundation/qvchar.h"

// Texts cross between the byte strings of the program and Qt's strings here. Paths go through
// QFile's file-name encoding, so that a name Qt hands back opens the same file.

inline QString qt_text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline qvchar plain_text(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return qvchar(bytes.constData(), static_cast<int32_t>(bytes.size()));
}

inline QString qt_path(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

inline qvchar plain_path(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return qvchar(bytes.constData(), static_cast<int32_t>(bytes.size()));
}
