#include "slave/app/simulation_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "slave/engine/autochange.h"
#include "framework/message_box.h"
#include "resources/vantor_resources.h"

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

// A rule to start from: a slow ramp over the value at element `index`, or
// (commented out) over the whole definition.
std::string Example(const vnd::VndDocument& d, int index) {
  const int width = autochange::RegistersPerValue(d.table, d.displayFormat);
  int first = d.address, last = d.address + std::max(width, d.length - d.length % width) - 1;
  if (index >= 0) {
    first = d.address + index - index % width;
    last = first + width - 1;
  }
  std::string range = std::to_string(first);
  if (last > first) range += "-" + std::to_string(last);
  return (index >= 0 ? "" : "# ") + std::to_string(d.slaveId) + ":" + std::to_string(d.table) + ":" + range +
         ":ramp:0:100:10000\n";
}

}  // namespace

SimulationDialog::SimulationDialog(const DocSimulation& simulation, const vnd::VndDocument& definition, int index,
                                   QWidget* parent)
    : QDialog(parent), simulation_(simulation), definition_(definition) {
  using namespace vantorres;
  setWindowTitle(Text(kSimulationTitle));
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(Text(kSimulationNote), this);
  note->setWordWrap(true);
  layout->addWidget(note);
  rules_ = new QPlainTextEdit(this);
  std::string text = simulation.text();
  if (index >= 0 ? !simulation.covers(index) : simulation.empty()) text += Example(definition, index);
  rules_->setPlainText(QString::fromStdString(text));
  layout->addWidget(rules_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &SimulationDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SimulationDialog::reject);
  resize(560, 300);
}

void SimulationDialog::accept() {
  std::string error;
  if (!simulation_.setText(rules_->toPlainText().toStdString(), definition_, &error)) {
    fw::ShowMessage(QString::fromStdString(error), fw::MsgIcon::Exclamation);
    return;
  }
  QDialog::accept();
}
