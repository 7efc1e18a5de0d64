#pragma once
// vantor's objects on the session bus: the application object, which creates
// slave documents for clients, and one object per document through which a
// test fills the simulated slave. Values go through the engine's setters, so a
// connected master reads them at once.
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>

class CMainFrame;
class CVantorDoc;

namespace fw {
class AutomationHost;
}

constexpr const char* kVantorServiceName = "example.orvane.Vantor";
constexpr const char* kVantorObjectPath = "/example/orvane/Vantor";

class VantorApplicationObject : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "example.orvane.Vantor.Application")

 public:
  VantorApplicationObject(CMainFrame* frame, fw::AutomationHost* host, QObject* parent = nullptr);

 public slots:
  // A new slave document in a new (hidden) child window; its object path.
  QDBusObjectPath CreateDocument();

 private:
  CMainFrame* frame_;
  fw::AutomationHost* host_;
};

class VantorDocumentObject : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "example.orvane.Vantor.Document")
  Q_PROPERTY(int DisplayFormat READ displayFormat WRITE setDisplayFormat)

 public:
  // A child of the document: it leaves the bus with it.
  VantorDocumentObject(CVantorDoc* document, CMainFrame* frame, fw::AutomationHost* host, const QString& path);
  ~VantorDocumentObject() override;

  int displayFormat() const;
  void setDisplayFormat(int format);

  // Closes the document without asking (its client left a hidden server).
  void closeHidden();

 public slots:
  int CreateSlave(int slaveId, int table, int address, int length);
  void ShowWindow();
  short Coil(short index);
  void SetCoil(short index, short value);
  short Register(short index);
  void SetRegister(short index, short value);
  // Value `index` of any 32- or 64-bit display format (4..19), by its number.
  double ValueInFormat(short index, int format);
  void SetValueInFormat(short index, int format, double value);
  // As the window's close: a document the user has seen may ask to be saved.
  void Close();

 private:
  CVantorDoc* document_;
  CMainFrame* frame_;
  QPointer<fw::AutomationHost> host_;
  QString path_;
  bool shown_ = false;
  bool closing_ = false;
};
