#include "record/update_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace torvane {

QString defaultLogPath() {
#ifdef Q_OS_WIN
  const QString local = qEnvironmentVariable("LOCALAPPDATA");
  const QString base = !local.isEmpty() ? local : QDir::homePath() + QStringLiteral("/AppData/Local");
  return QDir::toNativeSeparators(base + QStringLiteral("/TorVane/updates.jsonl"));
#else
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.local/state");
  return base + QStringLiteral("/torvane-update/updates.jsonl");
#endif
}

namespace {

// The file's last byte is not a line end: its last line was cut off.
bool endsCutOff(QFile& file) {
  const qint64 size = file.size();
  if (size <= 0 || !file.seek(size - 1)) return false;
  char last = '\n';
  return file.read(&last, 1) == 1 && last != '\n';
}

}  // namespace

QString appendLine(const QString& path, const QByteArray& line) {
  const QFileInfo info(path);
  // A device or a pipe is no log: writing to a pipe would wait for a reader.
  if (info.exists() && !info.isFile()) return QStringLiteral("it is not a regular file");
  const QString folder = info.absolutePath();
  if (!QDir().mkpath(folder))
    return QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(folder));
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) return file.errorString();
  QByteArray bytes = line + '\n';
  if (endsCutOff(file)) bytes.prepend('\n');
  if (file.write(bytes) != bytes.size() || !file.flush()) return file.errorString();
  file.close();
  return file.error() == QFileDevice::NoError ? QString() : file.errorString();
}

}  // namespace torvane
