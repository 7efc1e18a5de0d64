#include "framework/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cassert>

#include "platform/port_map.h"

namespace fw {

namespace {

QString g_testDirectory;
std::unique_ptr<Profile> g_appProfile;

QString Key(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }

// Earlier versions kept the profile in <program>.ini beside today's
// <program>.conf (same INI syntax). On the first start without a .conf the
// old file is moved over, so no setting is lost; an existing .conf wins.
void MigrateIniProfile(const QString& confFile) {
  if (!confFile.endsWith(QStringLiteral(".conf")) || QFileInfo::exists(confFile)) return;
  const QString iniFile = confFile.chopped(5) + QStringLiteral(".ini");
  if (!QFileInfo::exists(iniFile)) return;
  if (!QFile::rename(iniFile, confFile)) QFile::copy(iniFile, confFile);
}

}  // namespace

Profile::Profile(const QString& application) : application_(application) {
  if (!g_testDirectory.isEmpty()) {
    settings_ = std::make_unique<QSettings>(
        QDir(g_testDirectory).filePath(application + QStringLiteral(".ini")), QSettings::IniFormat);
  } else {
    // On Linux the native format is the INI syntax in ~/.config/Orvane/<program>.conf.
    // The old file is moved before the store reads its own.
    MigrateIniProfile(
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"), application).fileName());
    settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Orvane"), application);
  }
}

Profile::Profile(const QString& application, const QString& iniFile)
    : application_(application),
      settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

Profile::~Profile() { settings_->sync(); }

void Profile::setTestDirectory(const QString& directory) { g_testDirectory = directory; }

QString Profile::fileName() const { return settings_->fileName(); }

int Profile::readInt(const QString& section, const QString& key, int defaultValue) const {
  QVariant value = settings_->value(Key(section, key));
  if (!value.isValid()) return defaultValue;
  // Stored as text in the INI file; anything that is not a 32-bit integer gives the default.
  bool ok = false;
  qlonglong number = value.toString().trimmed().toLongLong(&ok);
  if (!ok || number < INT32_MIN || number > INT32_MAX) return defaultValue;
  return static_cast<int>(number);
}

int Profile::readIntInRange(const QString& section, const QString& key, int defaultValue, int min,
                            int max) const {
  int value = readInt(section, key, defaultValue);
  return (value < min || value > max) ? defaultValue : value;
}

QString Profile::readString(const QString& section, const QString& key,
                            const QString& defaultValue) const {
  QVariant value = settings_->value(Key(section, key));
  return value.isValid() ? value.toString() : defaultValue;
}

void Profile::writeInt(const QString& section, const QString& key, int value) {
  settings_->setValue(Key(section, key), value);
}

void Profile::writeString(const QString& section, const QString& key, const QString& value) {
  settings_->setValue(Key(section, key), value);
}

bool Profile::contains(const QString& section, const QString& key) const {
  return settings_->contains(Key(section, key));
}

void Profile::remove(const QString& section, const QString& key) {
  settings_->remove(Key(section, key));
}

void Profile::sync() { settings_->sync(); }

void Profile::loadPortMap() const {
  for (int port = 1; port <= platform::kMaxPortNumber; ++port) {
    QString key = QStringLiteral("Port%1").arg(port);
    if (!contains(QStringLiteral("Ports"), key)) continue;
    platform::SetSerialPortPath(port, readString(QStringLiteral("Ports"), key).trimmed().toStdString());
  }
}

void Profile::savePortMap() {
  for (int port = 1; port <= platform::kMaxPortNumber; ++port) {
    QString key = QStringLiteral("Port%1").arg(port);
    std::string path = platform::SerialPortPath(port);
    if (path == platform::DefaultSerialPortPath(port)) {
      remove(QStringLiteral("Ports"), key);
    } else {
      writeString(QStringLiteral("Ports"), key, QString::fromStdString(path));
    }
  }
}

Profile& AppProfile() {
  assert(g_appProfile && "AppProfile() before InitApplication/SetAppProfile");
  return *g_appProfile;
}

bool HasAppProfile() { return g_appProfile != nullptr; }

void SetAppProfile(std::unique_ptr<Profile> profile) { g_appProfile = std::move(profile); }

}  // namespace fw
