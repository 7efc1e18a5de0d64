#include "master/app/error_counters_dialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "master/core/engine_glue.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

CErrorCountersDlg::CErrorCountersDlg(const Counters& counters, QWidget* parent)
    : CErrorCountersDlg(counters, masterengine::ResponseTimes{}, parent) {}

CErrorCountersDlg::CErrorCountersDlg(const Counters& counters, const masterengine::ResponseTimes& times,
                                     QWidget* parent)
    : QDialog(parent), counters_(counters) {
  setWindowTitle(text::kErrorCountersTitle);
  list_ = new QListWidget(this);
  // Tabs in the lines are expanded by the item's text layout.
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setFocusPolicy(Qt::NoFocus);
  okButton_ = new QPushButton(tr("OK"), this);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  // The list keeps its lines in text order, as a sorted list box does: a count
  // of 10 comes before a count of 9.
  QStringList lines;
  for (const std::string& line : zelmor::ErrorCounterLines(counters_)) lines << QString::fromStdString(line);
  std::sort(lines.begin(), lines.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  list_->addItems(lines);

  auto* timesBox = new QGroupBox(text::kResponseTimesGroup, this);
  auto* form = new QFormLayout(timesBox);
  const std::vector<std::string> values = zelmor::ResponseTimeValues(times);
  for (std::size_t i = 0; i < values.size(); ++i) {
    auto* value = new QLabel(QString::fromStdString(values[i]), timesBox);
    form->addRow(text::kResponseTimeLabels[i], value);
    timeValues_ << value;
  }

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(timesBox);
  layout->addLayout(buttons);
  resize(320, 380);
}

QStringList CErrorCountersDlg::lines() const {
  QStringList result;
  for (int i = 0; i < list_->count(); ++i) result << list_->item(i)->text();
  return result;
}

QStringList CErrorCountersDlg::responseTimeTexts() const {
  QStringList result;
  for (const QLabel* value : timeValues_) result << value->text();
  return result;
}
