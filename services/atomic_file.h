#pragma once
// Whole-file replacement that never leaves a half-written file: the bytes go
// to a temporary file in the same folder, which is flushed to disk and then
// renamed over the target. On any failure the target keeps its old content
// and the temporary file is removed.
#include <QByteArray>
#include <QString>

namespace services {

// Throws std::runtime_error("Cannot create file \"<path>\". <reason>") on failure.
void WriteFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace services
