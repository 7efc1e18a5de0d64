#include "slave/app/simulation_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "slave/engine/autochange.h"
#include "framework/message_box.h"
#include "resources/vantor_resources.h"
#include "slave/app/replay_dialog.h"

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

// "ID:TABLE:ADDRESS[-LAST]:" of the value at element `index`, or of the whole definition.
std::string Target(const vnd::VndDocument& d, int index) {
  const int width = autochange::RegistersPerValue(d.table, d.displayFormat);
  int first = d.address, last = d.address + std::max(width, d.length - d.length % width) - 1;
  if (index >= 0) {
    first = d.address + index - index % width;
    last = first + width - 1;
  }
  std::string range = std::to_string(first);
  if (last > first) range += "-" + std::to_string(last);
  return std::to_string(d.slaveId) + ":" + std::to_string(d.table) + ":" + range + ":";
}

// A rule to start from: a slow ramp over the value at element `index`, or
// (commented out) over the whole definition.
std::string Example(const vnd::VndDocument& d, int index) {
  return (index >= 0 ? "" : "# ") + Target(d, index) + "ramp:0:100:10000\n";
}

}  // namespace

SimulationDialog::SimulationDialog(const DocSimulation& simulation, const vnd::VndDocument& definition, int index,
                                   QWidget* parent)
    : QDialog(parent), index_(index), simulation_(simulation), definition_(definition) {
  using namespace vantorres;
  setWindowTitle(Text(kSimulationTitle));
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(Text(kSimulationNote), this);
  note->setWordWrap(true);
  layout->addWidget(note);
  rules_ = new QPlainTextEdit(this);
  std::string text = simulation.text();
  if (index >= 0 ? !simulation.covers(index) : simulation.empty()) {
    example_ = Example(definition, index);
    text += example_;
  }
  rules_->setPlainText(QString::fromStdString(text));
  layout->addWidget(rules_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  recording_ = buttons->addButton(Text(kSimulationFromRecording), QDialogButtonBox::ActionRole);
  connect(recording_, &QPushButton::clicked, this, &SimulationDialog::addRecordingRule);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &SimulationDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SimulationDialog::reject);
  resize(560, 300);
}

// The chosen recording for the value (or the definition), in place of the
// example rule while that is still the last line.
void SimulationDialog::addRecordingRule() {
  const QString path = ChooseRecordingFile(this);
  if (path.isEmpty()) return;
  QString text = rules_->toPlainText();
  const QString example = QString::fromStdString(example_);
  if (!example.isEmpty() && text.endsWith(example)) text.chop(example.size());
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
  text += QString::fromStdString(Target(definition_, index_) + "recording:") + path + QLatin1Char('\n');
  example_.clear();
  rules_->setPlainText(text);
}

void SimulationDialog::accept() {
  std::string error;
  QApplication::setOverrideCursor(Qt::WaitCursor);  // recordings the rules name are read now
  const bool ok = simulation_.setText(rules_->toPlainText().toStdString(), definition_, &error);
  QApplication::restoreOverrideCursor();
  if (!ok) {
    fw::ShowMessage(QString::fromStdString(error), fw::MsgIcon::Exclamation);
    return;
  }
  QDialog::accept();
}
