#include "framework/application.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

#include "framework/dialog_title.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/window_messages.h"

namespace fw {

void InitApplication(const QString& applicationName, const QString& displayTitle) {
  QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
  QCoreApplication::setApplicationName(applicationName);
  QGuiApplication::setApplicationDisplayName(displayTitle);
  SetApplicationTitle(displayTitle);
  SetAppProfile(std::make_unique<Profile>(applicationName));
  InstallWindowMessaging();
  InstallDialogTitleFit(QCoreApplication::instance());
}

void ShowAboutBox(QWidget* parent, const QString& productName, const QString& version,
                  const QString& extraText) {
  QString text = QStringLiteral("%1 Version %2").arg(productName, version);
  if (!extraText.isEmpty()) text += QStringLiteral("\n\n") + extraText;
  ShowMessage(text, MsgIcon::Information, MsgButtons::Ok, parent,
              QStringLiteral("About %1").arg(productName));
}

bool OpenUrl(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

bool OpenHelpFile(const QString& path) {
  if (!QFileInfo::exists(path)) {
    ShowMessage(QStringLiteral("The help file %1 was not found.").arg(path), MsgIcon::Exclamation);
    return false;
  }
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

}  // namespace fw
