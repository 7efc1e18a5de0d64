#include "terminal/port_devices_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/profile.h"
#include "framework/serial_ports.h"
#include "resources/kestrin_texts.h"

namespace kestrin {

PortDevicesDialog::PortDevicesDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(text::kPortDevicesTitle));
  QStringList labels;
  for (int number = 1; number <= kPortDeviceCount; ++number)
    labels << QString::fromUtf8(text::kPortDeviceLabel).arg(number);
  map_ = new fw::SerialPortMapWidget(labels, this);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QString::fromUtf8(text::kOk), QDialogButtonBox::AcceptRole);
  buttons->addButton(QString::fromUtf8(text::kCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &PortDevicesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PortDevicesDialog::reject);

  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel(QString::fromUtf8(text::kPortDevicesHint), this);
  hint->setWordWrap(true);
  layout->addWidget(hint);
  layout->addWidget(map_);
  layout->addWidget(buttons);
}

void PortDevicesDialog::accept() {
  map_->applyToPortMap();
  if (fw::HasAppProfile()) {
    fw::AppProfile().savePortMap();
    fw::AppProfile().sync();
  }
  QDialog::accept();
}

}  // namespace kestrin
