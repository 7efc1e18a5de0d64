#pragma once
// zelmor's objects on the session bus: the application object, which creates
// poll documents for clients, and one object per document with the members
// that read and change the poll, read the values in any format and write
// through the scheduler's one-shot slot. Everything runs on the window thread
// and nothing waits for the link: clients poll ReadResult and WriteResult.
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>

class CZelmorApp;
class CZelmorDoc;

namespace fw {
class AutomationHost;
}

constexpr const char* kZelmorServiceName = "example.orvane.Zelmor";
constexpr const char* kZelmorObjectPath = "/example/orvane/Zelmor";

class ZelmorApplicationObject : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "example.orvane.Zelmor.Application")

 public:
  ZelmorApplicationObject(CZelmorApp* app, fw::AutomationHost* host, QObject* parent = nullptr);

 public slots:
  // A new document in a new child window; its object path.
  QDBusObjectPath CreateDocument();

 private:
  CZelmorApp* app_;
  fw::AutomationHost* host_;
};

class ZelmorDocumentObject : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "example.orvane.Zelmor.Document")
  Q_PROPERTY(int DisplayFormat READ displayFormat WRITE setDisplayFormat)
  Q_PROPERTY(short WriteResult READ writeResult)
  Q_PROPERTY(short ReadResult READ readResult)

 public:
  // A child of the document: it leaves the bus with it.
  ZelmorDocumentObject(CZelmorDoc* document, CZelmorApp* app, fw::AutomationHost* host, const QString& path);
  ~ZelmorDocumentObject() override;

  int displayFormat() const;
  void setDisplayFormat(int format);
  short writeResult() const;
  short readResult() const;

  // Closes the document without asking (its client left a hidden server).
  void closeHidden();

 public slots:
  int CreateRequest(int slaveId, int function, int address, int length, int scanRate);
  void ShowWindow();
  bool PresetMultipleRegisters(int slaveId, int address, int count);
  bool ForceSingleCoil(int slaveId, int address);
  bool PresetSingleRegister(int slaveId, int address);
  bool ForceMultipleCoils(int slaveId, int address, int count);
  short Register(short index);
  void SetRegister(short index, short value);
  int Long(short index);
  void SetLong(short index, int value);
  int LongInv(short index);
  void SetLongInv(short index, int value);
  double Float(short index);
  void SetFloat(short index, double value);
  double FloatInv(short index);
  void SetFloatInv(short index, double value);
  double Double(short index);
  void SetDouble(short index, double value);
  double DoubleInv(short index);
  void SetDoubleInv(short index, double value);
  // Any 32- or 64-bit display format (4..19: the other orders among them), by its number.
  double ValueInFormat(short index, int format);
  void SetValueInFormat(short index, int format, double value);
  short Coil(short index);
  void SetCoil(short index, short value);
  // As the window's close: a document the user has seen may ask to be saved.
  void Close();

 private:
  bool submitWrite(int function, int slaveId, int address, int count);

  CZelmorDoc* document_;
  CZelmorApp* app_;
  QPointer<fw::AutomationHost> host_;
  QString path_;
  bool shown_ = false;
  bool closing_ = false;
};
