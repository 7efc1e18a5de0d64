#include "master/app/error_counters_dialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

CErrorCountersDlg::CErrorCountersDlg(const Counters& counters, QWidget* parent)
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

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(320, 260);
}

QStringList CErrorCountersDlg::lines() const {
  QStringList result;
  for (int i = 0; i < list_->count(); ++i) result << list_->item(i)->text();
  return result;
}
