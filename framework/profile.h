#pragma once
// The per-user settings store: sections and keys of integers and strings under
// organisation "Orvane" and the program's name, on QSettings
// (~/.config/Orvane/<program>.conf). Missing or unreadable values give the
// default the caller passes.
#include <QString>
#include <memory>

class QSettings;

namespace fw {

class Profile {
 public:
  // The program's own store ("zelmor", "vantor", "kestrin"). When a test
  // directory is set (setTestDirectory) the store is <dir>/<application>.ini.
  explicit Profile(const QString& application);
  // A store in the given INI file (tests, headless runs with a private profile).
  Profile(const QString& application, const QString& iniFile);
  ~Profile();
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;

  // Redirects every Profile constructed afterwards with the one-argument
  // constructor to <directory>/<application>.ini. An empty directory restores
  // the user's real store.
  static void setTestDirectory(const QString& directory);

  QString application() const { return application_; }
  QString fileName() const;

  int readInt(const QString& section, const QString& key, int defaultValue) const;
  // readInt, but a stored value outside min..max gives the default.
  int readIntInRange(const QString& section, const QString& key, int defaultValue, int min,
                     int max) const;
  QString readString(const QString& section, const QString& key,
                     const QString& defaultValue = QString()) const;
  void writeInt(const QString& section, const QString& key, int value);
  void writeString(const QString& section, const QString& key, const QString& value);
  bool contains(const QString& section, const QString& key) const;
  void remove(const QString& section, const QString& key);
  // Writes pending changes to disk (also done by the destructor).
  void sync();

  // Serial port numbers to device paths: section "Ports", keys "Port1".."PortN",
  // into/out of platform::SetSerialPortPath / SerialPortPath. Only paths that
  // differ from the default are stored.
  void loadPortMap() const;
  void savePortMap();

 private:
  QString application_;
  std::unique_ptr<QSettings> settings_;
};

// The program's profile, created by InitApplication (application.h) or
// SetAppProfile. AppProfile() before that is a programming error (asserts).
Profile& AppProfile();
bool HasAppProfile();
void SetAppProfile(std::unique_ptr<Profile> profile);

}  // namespace fw
