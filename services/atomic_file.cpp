#include "services/atomic_file.h"

#include <stdexcept>

#include <QDir>
#include <QSaveFile>

namespace services {

void WriteFileAtomically(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  // Never fall back to writing the target in place.
  file.setDirectWriteFallback(false);
  bool ok = file.open(QIODevice::WriteOnly);
  if (ok) ok = file.write(bytes) == bytes.size();
  if (ok) ok = file.commit();
  if (!ok) {
    const QString reason = file.errorString();
    file.cancelWriting();
    throw std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(path), reason)
                                 .toStdString());
  }
}

}  // namespace services
