#pragma once
// Program start-up helpers and small shell services.
#include <QString>

class QWidget;

namespace fw {

// Sets organisation "Orvane" and the application name (and display title),
// creates the application profile (AppProfile), installs window messaging and
// makes every dialog at least as wide as its title (dialog_title.h).
// Call once after constructing the QApplication.
void InitApplication(const QString& applicationName, const QString& displayTitle);

// A small about box: name, version, optional extra text (through the message-box service).
void ShowAboutBox(QWidget* parent, const QString& productName, const QString& version,
                  const QString& extraText = QString());
// Opens a web address in the default browser; false when none could be started.
bool OpenUrl(const QString& url);
// Opens a local help file (HTML, PDF, ...) with the desktop's viewer; a
// missing file is reported with a message box. False on failure.
bool OpenHelpFile(const QString& path);

}  // namespace fw
