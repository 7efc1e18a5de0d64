#pragma once
// CVantorApp: the application object of vantor. Holds the communication
// settings, AutoEnable and the TCP listening address, and connects and
// disconnects the link (serial port or TCP server) with the receive thread.
#include <QObject>
#include <QString>

#include "slave/app/connection_dialog.h"
#include "slave/core/slave_settings.h"

class QWidget;

class CVantorApp : public QObject {
  Q_OBJECT

 public:
  // Initialises the slave engine.
  CVantorApp();
  // At exit: stops the receive thread and closes the link.
  ~CVantorApp() override;

  // CommSetup from the profile (with the defaults), AutoEnable, the port map and
  // the listening address and port.
  void readSettings();

  slavesettings::SlaveSettings& settings() { return settings_; }
  const slavesettings::SlaveSettings& settings() const { return settings_; }
  bool autoEnable() const { return autoEnable_; }
  void setAutoEnable(bool on);  // written to the profile at once
  QString listenAddress() const { return listenAddress_; }
  int listenPort() const { return listenPort_; }
  // Overrides for this run (command line); not written to the profile.
  void setListen(const QString& address, int port);
  // The network transport of the TCP/IP choice (slavesettings::kTransport*).
  int listenTransport() const { return listenTransport_; }
  void setListenTransport(int transport) { listenTransport_ = transport; }

  bool isConnected() const { return settings_.connected != 0; }
  // Connect (with the dialog) or quick connect (without). False when cancelled or failed.
  // hidden: a hidden automation server, which has nobody to answer a box:
  // a failure goes to stderr instead.
  bool connectLink(QWidget* parent, bool withDialog, bool hidden = false);
  void disconnectLink();

  // The status-bar text of the link.
  QString statusText() const;
  // While a network server runs, what it serves: "Modbus/TCP 0.0.0.0:502",
  // "RTU over TCP 127.0.0.1:1502", "Modbus/UDP [::1]:502"; else "".
  QString servingText() const;

  QString workspaceName() const { return workspaceName_; }
  void setWorkspaceName(const QString& name) { workspaceName_ = name; }

 signals:
  void connectionChanged();

 private:
  void writeSettings() const;
  slavesettings::SlaveSettings settings_;
  bool autoEnable_ = false;
  QString listenAddress_;
  int listenPort_ = 502;
  int listenTransport_ = slavesettings::kTransportModbusTcp;
  QString workspaceName_;
};
