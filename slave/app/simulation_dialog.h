#pragma once
// The "Simulation" dialog of a slave definition: its rules as text, one a line
// in the --simulate form. OK checks every line against the definition and keeps
// the dialog open with the reason when one does not fit. "From Recording..."
// adds a rule that plays a chosen recording's values into the value (or the
// whole definition).
#include <QDialog>

#include "slave/app/doc_simulation.h"

class QPlainTextEdit;
class QPushButton;

class SimulationDialog : public QDialog {
  Q_OBJECT

 public:
  // Edits a copy of `simulation`; the definition decides what fits. With an
  // element index (a cell of the view) that no rule moves yet, a ramp rule for
  // that value is added to the text to start from.
  SimulationDialog(const DocSimulation& simulation, const vnd::VndDocument& definition, int index = -1,
                   QWidget* parent = nullptr);

  const DocSimulation& simulation() const { return simulation_; }
  QPlainTextEdit* rulesEdit() const { return rules_; }
  QPushButton* recordingButton() const { return recording_; }

  void accept() override;

 private:
  void addRecordingRule();

  QPlainTextEdit* rules_;
  QPushButton* recording_;
  int index_;
  std::string example_;  // the rule added to start from, while it stands last
  DocSimulation simulation_;
  vnd::VndDocument definition_;
};
