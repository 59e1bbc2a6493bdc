#pragma once
// Writing a file in one piece: the content goes to a temporary file in the
// same folder, onto the disk, and only then replaces the file, so that a full
// or read-only disk leaves the previous file (or none) and never half a file.
// Any thread.

#include <QByteArray>
#include <QString>

// Empty on success; otherwise "Impossible d'écrire dans <file name>".
QString WriteWholeFile(const QString& path, const QByteArray& content);
