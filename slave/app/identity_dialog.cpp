#include "slave/app/identity_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "resources/vantor_resources.h"
#include "slave/core/identity_entries.h"

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

QString IdText(int id) { return QString("0x%1").arg(id, 2, 16, QLatin1Char('0')).toUpper().replace("0X", "0x"); }

QString NameOf(int id) {
  return id < static_cast<int>(modbus::kDeviceObjectNames.size())
             ? QString::fromLatin1(modbus::kDeviceObjectNames[id].data(), static_cast<int>(modbus::kDeviceObjectNames[id].size()))
             : QString();
}

void SaveIdentityToProfile() {
  std::vector<identityentries::IdentityEntry> entries;
  for (std::uint8_t unit : slaveidentity::UnitsWithUserObjects())
    for (const auto& [id, value] : slaveidentity::UserObjects(unit)) entries.push_back({unit, id, value});
  fw::Profile& profile = fw::AppProfile();
  profile.writeString(Text(identityentries::kSection), Text(identityentries::kObjectsKey),
                      QString::fromStdString(identityentries::EncodeEntries(entries)));
  profile.sync();
}

}  // namespace

void LoadIdentityFromProfile() {
  const QString value =
      fw::AppProfile().readString(Text(identityentries::kSection), Text(identityentries::kObjectsKey), QString());
  std::vector<identityentries::IdentityEntry> entries;
  // A value this program did not write gives what could be read before the fault.
  identityentries::DecodeEntries(value.toStdString(), &entries);
  for (const identityentries::IdentityEntry& e : entries) slaveidentity::SetObject(e.slaveId, e.objectId, e.text);
}

CIdentityDlg::CIdentityDlg(int slaveId, QWidget* parent) : QDialog(parent) {
  using namespace vantorres;
  setWindowTitle(Text(kIdentityTitle));
  auto* note = new QLabel(Text(kIdentityNote));
  note->setWordWrap(true);
  slave_ = new QSpinBox;
  slave_->setRange(0, modbus::MAX_UNIT_ID);
  table_ = new QTableWidget(0, 3);
  table_->setHorizontalHeaderLabels({Text(kIdentityColumns[0]), Text(kIdentityColumns[1]), Text(kIdentityColumns[2])});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  object_ = new QSpinBox;
  object_->setRange(0, modbus::DEVICE_OBJECT_COUNT - 1);
  object_->setDisplayIntegerBase(16);
  object_->setPrefix("0x");
  object_->setValue(modbus::DEVICE_OBJECT_FIRST_PRIVATE);
  auto* add = new QPushButton(Text(kIdentityAdd));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

  auto* slaveRow = new QHBoxLayout;
  slaveRow->addWidget(new QLabel(Text(kIdentitySlave)));
  slaveRow->addWidget(slave_);
  slaveRow->addStretch(1);
  auto* addRow = new QHBoxLayout;
  addRow->addWidget(new QLabel(Text(kIdentityAddObject)));
  addRow->addWidget(object_);
  addRow->addWidget(add);
  addRow->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addLayout(slaveRow);
  layout->addWidget(table_, 1);
  layout->addLayout(addRow);
  layout->addWidget(buttons);
  resize(520, 380);

  connect(add, &QPushButton::clicked, this, &CIdentityDlg::addObject);
  connect(buttons, &QDialogButtonBox::accepted, this, &CIdentityDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  slave_->setValue(slaveId >= 0 && slaveId <= modbus::MAX_UNIT_ID ? slaveId : 1);
  showSlave(slave_->value());
  connect(slave_, &QSpinBox::valueChanged, this, [this](int id) { showSlave(id); });
}

// The table's values into edited_ for the slave id shown.
void CIdentityDlg::keepEdits() {
  if (shown_ < 0) return;
  slaveidentity::Objects objects;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const QByteArray value = table_->item(row, 2)->text().toUtf8();
    const auto id = static_cast<std::uint8_t>(table_->item(row, 0)->data(Qt::UserRole).toInt());
    if (!value.isEmpty()) objects.emplace_back(id, value.toStdString());
  }
  edited_[static_cast<std::uint8_t>(shown_)] = objects;
}

void CIdentityDlg::showSlave(int slaveId) {
  keepEdits();
  shown_ = slaveId;
  const auto unit = static_cast<std::uint8_t>(slaveId);
  if (!edited_.count(unit)) edited_[unit] = slaveidentity::UserObjects(unit);
  table_->setRowCount(0);
  for (int id = 0; id < static_cast<int>(modbus::kDeviceObjectNames.size()); ++id) rowOf(static_cast<std::uint8_t>(id), true);
  for (const auto& [id, value] : edited_[unit]) table_->item(rowOf(id, true), 2)->setText(QString::fromUtf8(value));
}

// The row of an object, added in id order when `add` is set; -1 when absent.
int CIdentityDlg::rowOf(std::uint8_t objectId, bool add) {
  int row = 0;
  for (; row < table_->rowCount(); ++row) {
    const int id = table_->item(row, 0)->data(Qt::UserRole).toInt();
    if (id == objectId) return row;
    if (id > objectId) break;
  }
  if (!add) return -1;
  table_->insertRow(row);
  auto* idItem = new QTableWidgetItem(IdText(objectId));
  idItem->setData(Qt::UserRole, objectId);
  idItem->setFlags(idItem->flags() & ~Qt::ItemIsEditable);
  auto* nameItem = new QTableWidgetItem(NameOf(objectId));
  nameItem->setFlags(nameItem->flags() & ~Qt::ItemIsEditable);
  table_->setItem(row, 0, idItem);
  table_->setItem(row, 1, nameItem);
  table_->setItem(row, 2, new QTableWidgetItem);
  return row;
}

void CIdentityDlg::setValue(std::uint8_t objectId, const QString& value) {
  table_->item(rowOf(objectId, true), 2)->setText(value);
}

void CIdentityDlg::addObject() {
  const int row = rowOf(static_cast<std::uint8_t>(object_->value()), true);
  table_->setCurrentCell(row, 2);
  table_->editItem(table_->item(row, 2));
}

void CIdentityDlg::accept() {
  keepEdits();
  for (const auto& [unit, objects] : edited_)
    for (const auto& [id, value] : objects)
      if (value.size() > static_cast<std::size_t>(slaveidentity::kMaxObjectLength)) {
        fw::ShowMessage(Text(vantorres::kIdentityTooLong).arg(IdText(id)).arg(unit).arg(slaveidentity::kMaxObjectLength));
        return;
      }
  for (const auto& [unit, objects] : edited_) {
    slaveidentity::ClearObjects(unit);
    for (const auto& [id, value] : objects) slaveidentity::SetObject(unit, id, value);
  }
  SaveIdentityToProfile();
  QDialog::accept();
}

void RunIdentityDialog(int slaveId, QWidget* parent) {
  CIdentityDlg dialog(slaveId, parent);
  dialog.exec();
}
