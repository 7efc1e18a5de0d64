#include "slave/app/replay_runner.h"

#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <vector>

#include "common/recording.h"
#include "resources/vantor_resources.h"
#include "slave/app/main_frame.h"
#include "slave/app/vantor_doc.h"

namespace {

// The status line moves on at least this often while a replay runs.
constexpr int kStatusIntervalMs = 200;

QList<CVantorDoc*> Definitions(CMainFrame* frame) {
  QList<CVantorDoc*> documents;
  for (fw::Document* d : frame->documents())
    if (auto* v = dynamic_cast<CVantorDoc*>(d)) documents << v;
  return documents;
}

replay::Span SpanOf(const CVantorDoc& d) { return {d.slaveId(), d.table(), d.address(), d.length()}; }

QString Seconds(std::uint64_t ms) { return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1); }

}  // namespace

ReplayRunner::ReplayRunner(CMainFrame* frame) : QObject(frame), frame_(frame) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &ReplayRunner::step);
  connect(&reader_, &RecordingReader::finished, this, &ReplayRunner::readFinished);
}

bool ReplayRunner::start(const QString& path, int speed, bool loop, QString* error) {
  recording::Recording loaded;
  std::string why;
  if (!recording::LoadRecording(path.toStdString(), &loaded, &why)) {
    *error = QString::fromStdString(why);
    return false;
  }
  return play(std::move(loaded), path, speed, loop, error);
}

void ReplayRunner::startReading(const QString& path, int speed, bool loop) {
  readPath_ = path;
  readSpeed_ = speed;
  readLoop_ = loop;
  reader_.begin(path);
  emit stateChanged();
}

void ReplayRunner::readFinished(bool ok, std::shared_ptr<recording::Recording> loaded, const QString& error) {
  QString why = error;
  if (ok && play(std::move(*loaded), readPath_, readSpeed_, readLoop_, &why)) why.clear();
  emit stateChanged();
  emit readEnded(readPath_, why);
}

// Plans with the definitions open now, opens the ones missing and starts.
bool ReplayRunner::play(recording::Recording loaded, const QString& path, int speed, bool loop, QString* error) {
  std::vector<replay::Span> existing, added;
  std::string why;
  for (CVantorDoc* d : Definitions(frame_)) existing.push_back(SpanOf(*d));
  if (!replay::PlanDefinitions(loaded, existing, &added, &why)) {
    *error = QString::fromStdString(why);
    return false;
  }
  stop();
  for (const replay::Span& s : added)
    if (auto* d = dynamic_cast<CVantorDoc*>(frame_->newDocument())) d->applyDefinition(s.slaveId, s.table, s.address, s.length);
  replay::Start(&player_, std::move(loaded), speed, loop);
  name_ = QFileInfo(path).fileName();
  running_ = true;
  markCells(true);
  clock_.start();
  step();
  return true;
}

void ReplayRunner::stop() {
  if (reader_.busy()) {
    reader_.abandon();
    emit stateChanged();
  }
  if (!running_) return;
  timer_.stop();
  markCells(false);
  running_ = false;
  emit stateChanged();
}

QString ReplayRunner::statusText() const {
  if (reader_.busy()) return QString::fromLatin1(vantorres::kReplayReading).arg(QFileInfo(readPath_).fileName());
  if (!running_) return QString();
  const std::uint64_t now = static_cast<std::uint64_t>(clock_.elapsed());
  return QString::fromLatin1(vantorres::kReplayStatus)
      .arg(name_, Seconds(replay::PositionMs(player_, now)), Seconds(replay::DurationMs(player_)));
}

// The windows open now are the targets: one closed meanwhile is simply left out.
void ReplayRunner::step() {
  const QList<CVantorDoc*> documents = Definitions(frame_);
  std::vector<replay::Target> targets;
  for (CVantorDoc* d : documents) targets.push_back(d->replayTarget());
  const std::uint64_t now = static_cast<std::uint64_t>(clock_.elapsed());
  const auto touched = std::make_unique<bool[]>(targets.size());
  replay::Step(&player_, now, targets.data(), static_cast<int>(targets.size()), touched.get());
  for (int k = 0; k < documents.size(); ++k)
    if (touched[static_cast<std::size_t>(k)]) documents[k]->replayWritten();
  const std::uint64_t due = replay::NextDueMs(player_);
  if (!replay::Finished(player_)) {
    const std::uint64_t wait = due > now ? due - now : 0;
    timer_.start(static_cast<int>(std::min<std::uint64_t>(wait, kStatusIntervalMs)));
  }
  emit stateChanged();
}

void ReplayRunner::markCells(bool on) {
  for (CVantorDoc* d : Definitions(frame_)) {
    std::vector<bool> items;
    const replay::Span span = SpanOf(*d);
    if (on) {
      items.assign(static_cast<std::size_t>(std::max(span.length, 0)), false);
      for (const recording::Sample& s : player_.samples) {
        if (s.unit != span.slaveId || s.table != span.table) continue;
        const int low = std::max(s.address, span.address);
        const int high = std::min(s.address + static_cast<int>(s.values.size()), span.address + span.length);
        for (int a = low; a < high; ++a) items[static_cast<std::size_t>(a - span.address)] = true;
      }
    }
    d->setReplayed(std::move(items));
  }
}
